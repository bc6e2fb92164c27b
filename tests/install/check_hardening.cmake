# SPDX-License-Identifier: MIT
# The protections of the packaged ELF files, as Debian's build flags give
# them: full RELRO (a RELRO segment and BIND_NOW), a stack that is not
# executable, no RUNPATH or RPATH, PIE for kivvm, and the symbols of the
# stack protector and of FORTIFY in each binary whose code uses them.
#   cmake -DROOT=<unpacked packages> -DLIBDIR=<lib dir under usr> -P check_hardening.cmake
cmake_minimum_required(VERSION 3.25)

find_program(readelf readelf)
if(NOT readelf)
    message(FATAL_ERROR "readelf is not installed (Debian package binutils)")
endif()

# Each binary with the protection symbols its code calls for: the library
# copies with memcpy into buffers of known size; kivvm has arrays on its
# stack and prints.
set(binaries "usr/${LIBDIR}/libkivvariantmanager.so.1|__memcpy_chk" "usr/bin/kivvm|__stack_chk_fail,__printf_chk")
set(failures "")
foreach(entry IN LISTS binaries)
    string(REGEX REPLACE "[|,]" ";" entry "${entry}")
    list(POP_FRONT entry file)
    set(path ${ROOT}/${file})
    execute_process(COMMAND ${readelf} -lW ${path} OUTPUT_VARIABLE segments RESULT_VARIABLE rc)
    execute_process(COMMAND ${readelf} -dW ${path} OUTPUT_VARIABLE dynamic)
    execute_process(COMMAND ${readelf} --dyn-syms -W ${path} OUTPUT_VARIABLE symbols)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "readelf cannot read ${path}")
    endif()
    if(NOT segments MATCHES "GNU_RELRO" OR NOT dynamic MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW")
        list(APPEND failures "${file}: no full RELRO (GNU_RELRO and BIND_NOW)")
    endif()
    if(NOT segments MATCHES "GNU_STACK[^\n]* RW  ")
        list(APPEND failures "${file}: the stack is executable, or has no GNU_STACK")
    endif()
    if(dynamic MATCHES "\\((RUNPATH|RPATH)\\)")
        list(APPEND failures "${file}: has a ${CMAKE_MATCH_1}")
    endif()
    if(file MATCHES "kivvm$" AND NOT dynamic MATCHES "\\(FLAGS_1\\)[^\n]* PIE")
        list(APPEND failures "${file}: not a position-independent executable")
    endif()
    foreach(symbol IN LISTS entry)
        if(NOT symbols MATCHES " UND ${symbol}@")
            list(APPEND failures "${file}: does not call ${symbol}")
        endif()
    endforeach()
endforeach()
if(failures)
    list(JOIN failures "\n  " failures)
    message(FATAL_ERROR "the packaged binaries lack protections:\n  ${failures}")
endif()
message(STATUS "the packaged library and kivvm have every protection")
