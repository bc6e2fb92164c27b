# SPDX-License-Identifier: MIT
# 32-bit Windows with mingw-w64; its programs run here under 32-bit wine,
# itself a 32-bit Linux program, which run-i386 starts (under qemu-i386 where
# the kernel cannot).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KIVVM_MINGW_TRIPLE i686-w64-mingw32)
set(KIVVM_WINE WINEARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/run-i386 /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
