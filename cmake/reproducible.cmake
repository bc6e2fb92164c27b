# SPDX-License-Identifier: MIT
# Reproducible packages, for CPack (SOURCE_DATE_EPOCH is set by
# source-date-epoch.cmake before this runs).
#
# Run as a pre-build script, after CPack has installed what it packs into its
# staging directory: gives every staged file and directory the time
# SOURCE_DATE_EPOCH, which the zip takes its times from, and every directory
# the same permissions whatever the umask.
#
# Run as a post-build script: writes the ar container of each Debian package
# again in ar's deterministic mode (owner 0, mode 644, time 0), since CPack
# gives its members the permissions the umask left on them; and writes each
# zip again from the staged files in name order with the time zone set to
# UTC, since a zip also records its times in local time.

if(CPACK_PACKAGE_FILES)
    find_program(ar NAMES ar)
    foreach(package IN LISTS CPACK_PACKAGE_FILES)
        if(package MATCHES "\\.zip$")
            get_filename_component(top ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY)
            file(GLOB_RECURSE files RELATIVE ${top} "${CPACK_TEMPORARY_DIRECTORY}/*")
            list(SORT files)
            list(JOIN files "\n" listing)
            file(WRITE ${package}.files "${listing}\n")
            file(REMOVE ${package})
            execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                    ${CMAKE_COMMAND} -E tar cf ${package} --format=zip --files-from=${package}.files
                WORKING_DIRECTORY ${top} RESULT_VARIABLE rc)
            file(REMOVE ${package}.files)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR "cannot write ${package} again")
            endif()
        endif()
        if(NOT package MATCHES "\\.deb$")
            continue()
        endif()
        if(NOT ar)
            message(FATAL_ERROR "ar is not installed (Debian package binutils)")
        endif()
        set(members debian-binary control.tar.gz data.tar.gz)
        set(work ${package}.members)
        file(REMOVE_RECURSE ${work})
        file(MAKE_DIRECTORY ${work})
        execute_process(COMMAND ${ar} x ${package} ${members} WORKING_DIRECTORY ${work} RESULT_VARIABLE x)
        file(REMOVE ${package})
        execute_process(COMMAND ${ar} rcD ${package} ${members} WORKING_DIRECTORY ${work} RESULT_VARIABLE c)
        if(NOT x EQUAL 0 OR NOT c EQUAL 0)
            message(FATAL_ERROR "cannot write ${package} again")
        endif()
        file(REMOVE_RECURSE ${work})
    endforeach()
elseif(CPACK_TEMPORARY_DIRECTORY)
    file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
    foreach(path IN LISTS staged)
        if(IS_DIRECTORY ${path} AND NOT IS_SYMLINK ${path})
            file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        endif()
    endforeach()
    if(DEFINED ENV{SOURCE_DATE_EPOCH} AND staged)
        find_program(touch touch)
        if(NOT touch)
            message(FATAL_ERROR "touch is not installed: cannot set the packaged files' times")
        endif()
        execute_process(COMMAND ${touch} -h -d @$ENV{SOURCE_DATE_EPOCH} ${staged} RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "cannot set the times of the staged files")
        endif()
    endif()
endif()
