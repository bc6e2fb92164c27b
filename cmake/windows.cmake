# SPDX-License-Identifier: MIT
# The facts of the Windows builds, said once: the toolchain file, the build,
# the zips, kivvm's check of a host and CI read them here.  The builds, each
# with its preset, are at the end; `cmake -P cmake/windows.cmake` lists them.

# Each architecture: the PE machine, the processor, mingw-w64's triple, the
# zips' platform, the import library's machine, the manifest's architecture,
# the C runtime of its first build, and the wine that runs its programs
# here.  32-bit wine is a 32-bit Linux program, which run-i386 starts (under
# qemu-i386 where the kernel cannot).
set(KIVVM_WINDOWS_ARCHS x86 x64)
set(KIVVM_ARCH_x86 MACHINE 0x14c PROCESSOR x86 TRIPLE i686-w64-mingw32 PLATFORM win32 DLLTOOL_MACHINE i386
    MANIFEST_ARCHITECTURE x86 CRT msvcr80 WINE WINEARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/run-i386 /usr/lib/wine/wine)
set(KIVVM_ARCH_x64 MACHINE 0x8664 PROCESSOR AMD64 TRIPLE x86_64-w64-mingw32 PLATFORM win64
    DLLTOOL_MACHINE i386:x86-64 MANIFEST_ARCHITECTURE amd64 CRT ucrt WINE /usr/lib/wine/wine64)

# Each C runtime: the DLLs a program on it imports, the first the one whose
# heap it allocates from.
set(KIVVM_WINDOWS_CRTS msvcr80 ucrt msvcrt)
set(KIVVM_CRT_DLLS_msvcr80 msvcr80.dll)
set(KIVVM_CRT_DLLS_ucrt ucrtbase.dll api-ms-win-crt-*.dll)
set(KIVVM_CRT_DLLS_msvcrt msvcrt.dll)
# The macro through which mingw-w64's headers declare that runtime's
# functions, where its default (msvcrt's) is not right.
set(KIVVM_CRT_DEFINITION_msvcr80 __MSVCRT_VERSION__=0x800)
set(KIVVM_CRT_DEFINITION_ucrt _UCRT)
# The C runtime every Windows has: a build on it needs no redistributable.
set(KIVVM_CRT_EVERYWHERE msvcrt)
# The side-by-side assembly through which Windows finds a runtime, where it
# needs one, as the DLL's manifest binds it: its name, version and public
# key token (its architecture is each build's MANIFEST_ARCHITECTURE).
set(KIVVM_CRT_ASSEMBLY_msvcr80 NAME Microsoft.VC80.CRT VERSION 8.0.50727.762 TOKEN 1fc8b3b9a1e18e3b)

# kivvm_windows_foreign_crt(<out> <crt>): the C runtime whose DLL the tests
# put in place of a build's, to show a host on the build's runtime failing:
# the one every Windows has, or where the build is on it, the first other
# that Windows finds without a side-by-side assembly.
function(kivvm_windows_foreign_crt out crt)
    set(candidates ${KIVVM_CRT_EVERYWHERE} ${KIVVM_WINDOWS_CRTS})
    foreach(candidate IN LISTS candidates)
        if(NOT candidate STREQUAL crt AND NOT DEFINED KIVVM_CRT_ASSEMBLY_${candidate})
            set(${out} ${candidate} PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

# kivvm_windows_fact(<out> <arch> <fact>): one fact of an architecture.
function(kivvm_windows_fact out arch fact)
    cmake_parse_arguments(the "" "MACHINE;PROCESSOR;TRIPLE;PLATFORM;DLLTOOL_MACHINE;MANIFEST_ARCHITECTURE;CRT" "WINE"
        ${KIVVM_ARCH_${arch}})
    if(NOT DEFINED the_${fact})
        message(FATAL_ERROR "no Windows architecture '${arch}' (one of: ${KIVVM_WINDOWS_ARCHS}) with ${fact}")
    endif()
    set(${out} "${the_${fact}}" PARENT_SCOPE)
endfunction()

# kivvm_windows_zip_name(<out> <arch> <crt>): the zip of that build, without .zip.
function(kivvm_windows_zip_name out arch crt)
    kivvm_windows_fact(platform ${arch} PLATFORM)
    set(${out} ${PROJECT_NAME}-${PROJECT_VERSION}-${platform}-${crt} PARENT_SCOPE)
endfunction()

# The builds, each architecture on each C runtime, named as their presets
# (CMakePresets.json, which a test holds to these): windows-<arch> on the
# architecture's first runtime, then windows-<arch>-<crt> on the others.
# KIVVM_WINDOWS_BUILD_<name> is a build's architecture and runtime.
set(KIVVM_WINDOWS_BUILDS "")
set(kivvm_other_builds "")
foreach(arch IN LISTS KIVVM_WINDOWS_ARCHS)
    kivvm_windows_fact(first ${arch} CRT)
    foreach(crt IN LISTS KIVVM_WINDOWS_CRTS)
        if(crt STREQUAL first)
            set(build windows-${arch})
            list(APPEND KIVVM_WINDOWS_BUILDS ${build})
        else()
            set(build windows-${arch}-${crt})
            list(APPEND kivvm_other_builds ${build})
        endif()
        set(KIVVM_WINDOWS_BUILD_${build} ${arch} ${crt})
    endforeach()
endforeach()
list(APPEND KIVVM_WINDOWS_BUILDS ${kivvm_other_builds})
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${KIVVM_WINDOWS_BUILDS})
endif()
