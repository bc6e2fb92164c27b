# SPDX-License-Identifier: MIT
# Runs kivvm once and checks its exit status and output.
#   -DKIVVM=<program>      the program, with its emulator if any (a list)
#   -DARGS=<list>          its arguments
#   -DEXIT=<n>             the expected exit status
#   -DSTDOUT=<file>        optional: stdout must equal this file, with @VERSION@
#                          read as -DVERSION=<x.y.z>
#   -DSTDOUT_MATCH=<regex> optional: stdout must match
#   -DSTDERR_MATCH=<regex> stderr must match ("^$" for empty)
#   -DOUTPUT_FILE=<file>   optional: stdout goes to this file (/dev/full, say)
cmake_minimum_required(VERSION 3.25)

if(OUTPUT_FILE)
    execute_process(COMMAND ${KIVVM} ${ARGS}
        OUTPUT_FILE ${OUTPUT_FILE} ERROR_VARIABLE err RESULT_VARIABLE rc)
    set(out "")
else()
    execute_process(COMMAND ${KIVVM} ${ARGS}
        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
endif()
# Windows consoles write CRLF; the expected files use LF.
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")

set(failed FALSE)
if(NOT rc STREQUAL EXIT)
    message(SEND_ERROR "exit status ${rc}, expected ${EXIT}")
    set(failed TRUE)
endif()
if(DEFINED STDOUT)
    file(READ "${STDOUT}" expected)
    string(REPLACE "@VERSION@" "${VERSION}" expected "${expected}")
    if(NOT out STREQUAL expected)
        message(SEND_ERROR "stdout differs from ${STDOUT}")
        set(failed TRUE)
    endif()
endif()
if(DEFINED STDOUT_MATCH AND NOT out MATCHES "${STDOUT_MATCH}")
    message(SEND_ERROR "stdout does not match ${STDOUT_MATCH}")
    set(failed TRUE)
endif()
if(NOT err MATCHES "${STDERR_MATCH}")
    message(SEND_ERROR "stderr does not match ${STDERR_MATCH}")
    set(failed TRUE)
endif()
if(failed)
    message(FATAL_ERROR "kivvm ${ARGS}\n--- stdout\n${out}--- stderr\n${err}")
endif()
