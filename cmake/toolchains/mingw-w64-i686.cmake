# Cross-builds the Windows programs with Debian's mingw-w64 (g++-mingw-w64-i686).
set(READRACE_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
