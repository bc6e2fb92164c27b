# SPDX-License-Identifier: MIT
# Cross-compiling for Windows with Debian's mingw-w64 (posix threads); the
# per-architecture toolchain files set CMAKE_SYSTEM_PROCESSOR and
# KIVVM_MINGW_TRIPLE, then include this one.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KIVVM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVVM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVVM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KIVVM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
