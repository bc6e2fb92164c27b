# SPDX-License-Identifier: MIT
# The installed library's manual page documents every exported function:
# each is in its name line and synopsis and has a link by its own name, so
# that man 3 <function> shows the page; man reports no warning on it.
#   cmake -DFUNCTIONS=<the exports> -DPREFIX=<install prefix> -P check_manpage.cmake
cmake_minimum_required(VERSION 3.25)

find_program(man man)
if(NOT man)
    message(FATAL_ERROR "man is not installed (Debian package man-db)")
endif()

set(man3 ${PREFIX}/share/man/man3)
set(page ${man3}/kivvariantmanager.3)
set(ENV{MANWIDTH} 80)
execute_process(COMMAND ${man} --warnings -l ${page}
    OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "man -l ${page} failed or warned (${rc}):\n${warnings}")
endif()
string(REGEX MATCH "NAME\n(.*)\nLIBRARY" name_section "${text}")
string(REGEX MATCH "SYNOPSIS\n(.*)\nDESCRIPTION" synopsis "${text}")
set(missing "")
foreach(function IN LISTS FUNCTIONS)
    if(NOT name_section MATCHES "[ \n]${function}[, ]" OR NOT synopsis MATCHES "[ *]${function}\\(")
        list(APPEND missing "${function} is not in the page's name line and synopsis")
    endif()
    execute_process(COMMAND ${man} -M ${PREFIX}/share/man 3 ${function}
        OUTPUT_VARIABLE shown ERROR_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT shown MATCHES "KIVVARIANTMANAGER\\(3\\)")
        list(APPEND missing "man 3 ${function} does not show the page")
    endif()
endforeach()
if(missing)
    list(JOIN missing "\n  " missing)
    message(FATAL_ERROR "the manual page lacks exported functions:\n  ${missing}")
endif()
list(LENGTH FUNCTIONS count)
message(STATUS "kivvariantmanager(3) documents all ${count} functions, each found by its name")
