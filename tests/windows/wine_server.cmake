# SPDX-License-Identifier: MIT
# Starts the wineserver that the tests' Windows programs share, and wine's own
# programs under it (wineboot starts them), all detached from any output
# that a caller would wait on; they stay until the server is stopped, or a
# minute after its last program.
#   cmake -DPREFIX=<wine prefix> -DWINESERVER=<command> -DWINE=<command> -P wine_server.cmake
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${PREFIX})
# A server that an earlier run left (stopped midway, or run alone) would
# keep this run's from starting ("-p" exits 2): it is stopped first.
foreach(command "${WINESERVER};-k" "${WINESERVER};-w")
    execute_process(COMMAND ${command} INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
endforeach()
foreach(command "${WINESERVER};-p60" "${WINE};wineboot")
    execute_process(COMMAND ${command}
        INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot start wine for the tests: ${command} (${rc})")
    endif()
endforeach()
