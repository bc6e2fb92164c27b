# SPDX-License-Identifier: MIT
# Reproducible packages, for CPack.
#
# Included by the CPack project config file: kivvm_source_date_epoch() sets
# SOURCE_DATE_EPOCH, when the environment does not, to the date of the commit
# the source tree is at; CPack's Debian generator takes its times from it.
#
# Run as a pre-build script, after CPack has installed what it packs into its
# staging directory: gives every staged file and directory the time
# SOURCE_DATE_EPOCH, which the zip takes its times from.
function(kivvm_source_date_epoch)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        return()
    endif()
    find_program(git git)
    if(git)
        execute_process(COMMAND ${git} log -1 --format=%ct
            WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}
            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
    endif()
    if(git AND rc EQUAL 0 AND epoch MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    else()
        message(STATUS "neither SOURCE_DATE_EPOCH nor a git commit: the packages hold today's times")
    endif()
endfunction()

if(CPACK_TEMPORARY_DIRECTORY AND DEFINED ENV{SOURCE_DATE_EPOCH})
    find_program(touch touch)
    if(NOT touch)
        message(FATAL_ERROR "touch is not installed: cannot set the packaged files' times")
    endif()
    file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
    if(staged)
        execute_process(COMMAND ${touch} -h -d @$ENV{SOURCE_DATE_EPOCH} ${staged} RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "cannot set the times of the staged files")
        endif()
    endif()
endif()
