# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake \
#         -DKDX_BUILD_GUI=OFF -DKDX_TEST_LAUNCHER=wine
#
# The "-posix" compilers are used on purpose: the "-win32" thread model of GCC 12 has no
# std::mutex / std::recursive_mutex, which the table engine and the locale cache need. Everything
# is linked statically (libgcc, libstdc++, winpthread) so that a built .exe runs under Wine or on
# a bare Windows machine without extra DLLs beside it.

# toolchain-mingw-w64-i686.cmake sets KDX_MINGW_ARCH to i686 for the 32-bit build.
if(NOT KDX_MINGW_ARCH)
  set(KDX_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KDX_MINGW_ARCH})

set(KDX_MINGW_TRIPLET ${KDX_MINGW_ARCH}-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${KDX_MINGW_TRIPLET}-gcc-posix ${KDX_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KDX_MINGW_TRIPLET}-g++-posix ${KDX_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KDX_MINGW_TRIPLET}-windres)
find_program(CMAKE_AR NAMES ${KDX_MINGW_TRIPLET}-gcc-ar-posix ${KDX_MINGW_TRIPLET}-ar)
find_program(CMAKE_RANLIB NAMES ${KDX_MINGW_TRIPLET}-gcc-ranlib-posix ${KDX_MINGW_TRIPLET}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${KDX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
