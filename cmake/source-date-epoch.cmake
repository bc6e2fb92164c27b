# SPDX-License-Identifier: MIT
# Included by CPack's project config file, before any package is made: sets
# SOURCE_DATE_EPOCH, when the environment does not, to the date of the commit
# the source tree is at.  CPack's Debian generator and reproducible.cmake take
# the packages' times from it.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    return()
endif()
find_program(kivvm_git git)
if(kivvm_git)
    execute_process(COMMAND ${kivvm_git} log -1 --format=%ct
        WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
endif()
if(kivvm_git AND rc EQUAL 0 AND epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
else()
    message(STATUS "neither SOURCE_DATE_EPOCH nor a git commit: the packages hold today's times")
endif()
