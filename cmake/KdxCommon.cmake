# Shared helpers for every layer.

if(KDX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# GCC 12 reports overlapping copies inside std::string's inlined code that cannot happen (its
# bug 105651, fixed in GCC 13): -Wrestrict is off for it.
set(KDX_WARNINGS
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>
    $<$<CXX_COMPILER_ID:MSVC>:/W4 /utf-8>)

# kdx_library(<name> [DEPS ...]): a layer library from <dir>/src (common, plus posix/ or win32/
# by target platform) with its public headers in <dir>/include.
function(kdx_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _common CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/src/common/*.cpp)
  if(WIN32)
    file(GLOB _os CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/win32/*.cpp)
  else()
    file(GLOB _os CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/posix/*.cpp)
  endif()
  add_library(${name} STATIC ${_common} ${_os})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${KDX_WARNINGS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  if(ARG_PRIVATE_DEPS)
    target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_DEPS})
  endif()
endfunction()

# kdx_gtest(<name> SOURCES ... DEPS ... [LABELS ...]): a GoogleTest binary registered with ctest.
# Every toolkit-free test carries the label "core" (run again under the sanitizers and on Wine)
# and links the shared test support (kdx_test_support, testing/).
function(kdx_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT KDX_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kdx_test_support GTest::gtest GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${KDX_WARNINGS})
  if(CMAKE_CROSSCOMPILING AND KDX_TEST_LAUNCHER)
    set(_launcher ${KDX_TEST_LAUNCHER})
  endif()
  add_test(NAME ${name} COMMAND ${_launcher} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS "core;${ARG_LABELS}" TIMEOUT 600)
endfunction()

# kdx_qt_library(<name> [DEPS ...]): like kdx_library for the Qt layers; the public headers are
# part of the sources so that AUTOMOC sees their Q_OBJECT classes.
function(kdx_qt_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/include/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/src/*.h)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/src/*.qrc)
  add_library(${name} STATIC ${_sources} ${_headers})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${KDX_WARNINGS})
  target_link_libraries(${name} PUBLIC Qt6::Widgets ${ARG_DEPS})
endfunction()

# kdx_qtest(<name> SOURCES ... DEPS ... [LABELS ...]): a Qt Test binary on the offscreen platform,
# with the shared test support (kdx_test_support) like every toolkit-free test.
function(kdx_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT KDX_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} kdx_test_support Qt6::Test Qt6::Widgets)
  target_compile_options(${name} PRIVATE ${KDX_WARNINGS})
  # A static Qt (the Windows cross build) links only its default platform plugin by itself.
  get_target_property(_qt_type Qt6::Core TYPE)
  if(_qt_type STREQUAL "STATIC_LIBRARY")
    qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
  endif()
  if(CMAKE_CROSSCOMPILING AND KDX_TEST_LAUNCHER)
    # Under Wine: the stage sets the locale of the Czech workstation it imitates.
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/windows/wine-qtest.sh $<TARGET_FILE:${name}>)
    set(_env "QT_QPA_PLATFORM=offscreen")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set(_env "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "gui;${ARG_LABELS}" TIMEOUT 600
                       ENVIRONMENT "${_env}")
endfunction()
