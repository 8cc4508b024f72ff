# Toolchain for the Windows program: x86_64 mingw-w64 cross compiler (posix thread model) on Debian.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVANE_MINGW_PREFIX}-windres)
find_program(KELVANE_MINGW_CXX ${CMAKE_CXX_COMPILER})
if(NOT KELVANE_MINGW_CXX)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} not found: install the Debian package g++-mingw-w64-x86-64-posix")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The native test suite runs on Linux; this build brings its own Windows tests, with googletest
# compiled from source, since no cross-compiled GTest package exists to be found.
set(KELVANE_TESTS OFF CACHE BOOL "Build the tests")
# The benchmarks measure the Linux build.
set(KELVANE_BENCH OFF CACHE BOOL "Build the benchmarks")

# Strict C++20 hides M_PI and friends in mingw's <math.h> unless asked for, as glibc's does not.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES")
