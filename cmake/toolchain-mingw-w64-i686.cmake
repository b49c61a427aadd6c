# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686): the hand-off
# helper kdxmapi32.exe and the 32-bit test client libraries, which the 64-bit build starts as a
# sub-build of its own (windows/CMakeLists.txt). Everything else as in toolchain-mingw-w64.cmake.
set(KDX_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
