# SPDX-License-Identifier: MIT
# The Windows presets are the builds cmake/windows.cmake lists, in its
# order, each building its architecture on its C runtime; the README's table
# of runtimes names each runtime, and its list of presets each
# architecture's first.
#   cmake -DPRESETS=<CMakePresets.json> -DREADME=<README.md> -P check_presets.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/windows.cmake)

file(READ ${PRESETS} presets)
string(JSON count LENGTH "${presets}" configurePresets)
math(EXPR last "${count} - 1")
set(found "")
foreach(i RANGE ${last})
    string(JSON preset GET "${presets}" configurePresets ${i})
    string(JSON name GET "${preset}" name)
    string(JSON arch ERROR_VARIABLE no_arch GET "${preset}" cacheVariables KIVVM_WINDOWS_ARCH)
    string(JSON crt ERROR_VARIABLE no_crt GET "${preset}" cacheVariables KIVVM_WINDOWS_CRT)
    if(no_arch AND no_crt)
        continue()
    endif()
    list(APPEND found ${name})
    if(NOT "${arch};${crt}" STREQUAL "${KIVVM_WINDOWS_BUILD_${name}}")
        message(SEND_ERROR "the preset ${name} builds ${arch} on ${crt}, where windows.cmake's build of that "
            "name is '${KIVVM_WINDOWS_BUILD_${name}}'")
    endif()
endforeach()
if(NOT found STREQUAL KIVVM_WINDOWS_BUILDS)
    message(FATAL_ERROR "the Windows presets are ${found}; windows.cmake's builds are ${KIVVM_WINDOWS_BUILDS}")
endif()

file(READ ${README} readme)
foreach(crt IN LISTS KIVVM_WINDOWS_CRTS)
    if(NOT readme MATCHES "\n\\|[^\n]*\\| `${crt}` \\|\n")
        message(SEND_ERROR "the README's table of runtimes has no row for ${crt}")
    endif()
endforeach()
foreach(arch IN LISTS KIVVM_WINDOWS_ARCHS)
    kivvm_windows_fact(crt ${arch} CRT)
    if(NOT readme MATCHES "`windows-${arch}`[^`]*[ \n]on `${crt}`")
        message(SEND_ERROR "the README does not say that windows-${arch} is on ${crt}")
    endif()
endforeach()
