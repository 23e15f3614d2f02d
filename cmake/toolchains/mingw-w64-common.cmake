# What both mingw-w64 toolchains share; READRACE_MINGW_ARCH names the architecture first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${READRACE_MINGW_ARCH})
set(CMAKE_C_COMPILER ${READRACE_MINGW_ARCH}-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER ${READRACE_MINGW_ARCH}-w64-mingw32-g++)
set(CMAKE_RC_COMPILER ${READRACE_MINGW_ARCH}-w64-mingw32-windres)

# The header-only libraries the companions use (Debian's libcli11-dev and nlohmann-json3-dev)
# are the same for every target. Only their own folders are offered, through links in a folder
# of the build tree: the host's /usr/include as a whole would shadow mingw's C headers.
set(readrace_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${readrace_host_headers}/include)
foreach(folder CLI nlohmann)
  if(EXISTS /usr/include/${folder} AND NOT EXISTS ${readrace_host_headers}/include/${folder})
    file(CREATE_LINK /usr/include/${folder} ${readrace_host_headers}/include/${folder} SYMBOLIC)
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${READRACE_MINGW_ARCH}-w64-mingw32 ${readrace_host_headers})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
