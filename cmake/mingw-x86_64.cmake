# Cross build of the 64-bit twin of the Windows programs with MinGW-w64 (the
# POSIX thread model, which GoogleTest needs for std::mutex): the same
# sources as the shipped 32-bit programs, for the suites that start many
# programs, since a 64-bit Wine starts one in a tenth of a second wherever
# the machine runs no 32-bit code natively. Its programs run under wine64,
# which Debian keeps off PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
find_program(SNIPDIR_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SNIPDIR_WINE64})
