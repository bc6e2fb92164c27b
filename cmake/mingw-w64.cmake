# SPDX-License-Identifier: MIT
# Cross-compiling for Windows, 32-bit or 64-bit (KIVVM_WINDOWS_ARCH, x86 or
# x64, which the presets set), with clang and lld 16 against Debian's
# mingw-w64 (its headers and C runtimes, and the posix GCC's libstdc++ and
# libgcc): lld writes the debug information into a PDB beside each binary,
# which Visual Studio and WinDbg read.
set(CMAKE_SYSTEM_NAME Windows)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KIVVM_WINDOWS_ARCH)

# The chosen architecture's names (windows.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
kivvm_windows_fact(CMAKE_SYSTEM_PROCESSOR "${KIVVM_WINDOWS_ARCH}" PROCESSOR)
foreach(fact TRIPLE DLLTOOL_MACHINE MANIFEST_ARCHITECTURE WINE)
    kivvm_windows_fact(KIVVM_${fact} "${KIVVM_WINDOWS_ARCH}" ${fact})
endforeach()

# LLVM 16: its clang records no command line in the debug information
# (-gno-codeview-command-line), which would name the build's directories.
set(KIVVM_LLVM /usr/lib/llvm-16/bin)
set(CMAKE_C_COMPILER ${KIVVM_LLVM}/clang)
set(CMAKE_CXX_COMPILER ${KIVVM_LLVM}/clang++)
set(CMAKE_C_COMPILER_TARGET ${KIVVM_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${KIVVM_TRIPLE})
set(CMAKE_RC_COMPILER ${KIVVM_TRIPLE}-windres)
foreach(tool AR RANLIB NM OBJDUMP OBJCOPY)
    string(TOLOWER ${tool} name)
    set(CMAKE_${tool} /usr/bin/${KIVVM_TRIPLE}-${name} CACHE FILEPATH "")
endforeach()
# LLVM's strip keeps the link's time stamp (a hash under -Brepro), where
# binutils' writes the time of stripping.
set(CMAKE_STRIP ${KIVVM_LLVM}/llvm-strip CACHE FILEPATH "")

# mingw-w64's headers and libraries, and GCC's C++ library, which clang does
# not find by itself under Debian's versioned "12-posix" directory; named with
# the standard libraries, so that a project's own linker flags keep them.
set(CMAKE_SYSROOT /usr/${KIVVM_TRIPLE})
file(GLOB KIVVM_MINGW_GCC_DIR /usr/lib/gcc/${KIVVM_TRIPLE}/*-posix)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${KIVVM_MINGW_GCC_DIR}/include/c++ ${KIVVM_MINGW_GCC_DIR}/include/c++/${KIVVM_TRIPLE})
set(CMAKE_C_STANDARD_LIBRARIES -L${KIVVM_MINGW_GCC_DIR})
set(CMAKE_CXX_STANDARD_LIBRARIES "-L${KIVVM_MINGW_GCC_DIR} -lpthread")

# Debug information as CodeView alone, which lld puts into <binary>.pdb,
# named in the binary by its file name alone.  Nothing in either depends on
# where the tree is: CodeView joins each source's path to the compilation
# directory, given as "."; no compiler command line is recorded; -Brepro
# makes the link time and the PDB's identity hashes of the contents, and
# -pdbsourcepath puts the relative paths of sources and objects under a
# fixed root.  (The compiler flags reach the link line too, unused there.)
set(CMAKE_C_FLAGS_INIT "-gcodeview -gno-codeview-command-line -fdebug-compilation-dir=.")
set(CMAKE_CXX_FLAGS_INIT ${CMAKE_C_FLAGS_INIT})
# The PDB also records the linker's command line, which clang extends with
# the directories of LIBRARY_PATH: links run without it.
set(CMAKE_C_LINKER_LAUNCHER /usr/bin/env -u LIBRARY_PATH)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_C_LINKER_LAUNCHER})
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -Wno-unused-command-line-argument -Wl,--pdb= \
-Wl,-Xlink=-Brepro -Wl,-Xlink=-pdbaltpath:%_PDB% -Wl,-Xlink=-pdbsourcepath:C:/kivvariantmanager")
endforeach()
# Programs link GCC's crtbegin.o and crtend.o (-B), not mingw-w64's stubs: on
# 32-bit they register the DWARF unwind tables, without which every C++ throw
# ends the program.  The DLL throws nothing, and keeps its imports as they are.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -B${KIVVM_MINGW_GCC_DIR}")

# Its programs run here under wine, in a prefix of the build's own, with
# wine's messages off but for a DLL that cannot be loaded: a program that
# fails so would otherwise end before its first line, saying nothing.
set(KIVVM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEPREFIX=${KIVVM_WINE_PREFIX} WINEDEBUG=-all,err+module ${KIVVM_WINE})

set(CMAKE_FIND_ROOT_PATH /usr/${KIVVM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
