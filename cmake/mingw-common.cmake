# Shared by the two toolchain files: cross-compiling for Windows with the
# mingw-w64 compilers (posix threads) of GN_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${GN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
