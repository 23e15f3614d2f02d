# Cross-builds the Windows programs with Debian's mingw-w64 (g++-mingw-w64-x86-64).
set(READRACE_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
