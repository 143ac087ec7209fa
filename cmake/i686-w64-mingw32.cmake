# Cross-build for 32-bit Windows with the MinGW-w64 posix-thread compilers.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The -posix names explicitly: the plain names may select the win32 threading
# variant.
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests whose command is one of our executables run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
