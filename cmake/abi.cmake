# SPDX-License-Identifier: MIT
# The library's ABI against the baseline committed for its major.minor
# version (abi/kivvariantmanager-<major>.<minor>.abi), with libabigail.
#   cmake -DMODE=check|update -DLIBRARY=<.so> -DHEADER=<public header> -DBASELINE=<.abi>
#         -DSOURCE_DIR=<source dir> -P abi.cmake
# check: fails when no baseline exists or abidiff finds any difference;
# update: writes the baseline from the library.
cmake_minimum_required(VERSION 3.25)

foreach(tool abidw abidiff)
    find_program(${tool}_exe ${tool})
    if(NOT ${tool}_exe)
        message(FATAL_ERROR "${tool} is not installed (Debian package abigail-tools)")
    endif()
endforeach()

if(MODE STREQUAL "update")
    # Only the public headers' types, without source locations or paths, so
    # the file is the same from any checkout.
    execute_process(COMMAND ${abidw_exe} --header-file ${HEADER} --drop-private-types --no-show-locs
            --no-corpus-path --no-comp-dir-path --out-file ${BASELINE}.new ${LIBRARY}
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "abidw failed on ${LIBRARY}")
    endif()
    file(READ ${BASELINE}.new abi)
    string(REPLACE "${SOURCE_DIR}/" "" abi "${abi}")
    file(WRITE ${BASELINE} "${abi}")
    file(REMOVE ${BASELINE}.new)
    message(STATUS "wrote ${BASELINE}")
    return()
endif()

if(NOT EXISTS ${BASELINE})
    message(FATAL_ERROR "no ABI baseline for this version: ${BASELINE} is missing "
                        "(a new minor version needs one: see abi/README.md)")
endif()
execute_process(COMMAND ${abidiff_exe} --drop-private-types --hf2 ${HEADER} ${BASELINE} ${LIBRARY}
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the ABI differs from ${BASELINE} (abidiff exit status ${rc}: "
                        "4 a change, 8 or 12 an incompatible change)")
endif()
message(STATUS "the ABI is the one in ${BASELINE}")
