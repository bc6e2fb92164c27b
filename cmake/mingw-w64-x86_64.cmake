# SPDX-License-Identifier: MIT
# 64-bit Windows with mingw-w64; its programs run here under wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KIVVM_MINGW_TRIPLE x86_64-w64-mingw32)
set(KIVVM_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
