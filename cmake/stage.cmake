# SPDX-License-Identifier: MIT
# Staging what an archive will hold, for the package scripts.
#
# kivvm_package_epoch(<out-var>): the time every packaged file carries:
# SOURCE_DATE_EPOCH when it is set, else the release date from CHANGELOG.md
# (RELEASE_EPOCH, passed by the build).  It is also put into the
# environment, for the archivers that read it there.
function(kivvm_package_epoch out)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    else()
        set(epoch "${RELEASE_EPOCH}")
    endif()
    if(NOT epoch MATCHES "^[0-9]+$")
        message(FATAL_ERROR "no time for the packaged files: CHANGELOG.md has no entry for ${VERSION}, "
                            "and SOURCE_DATE_EPOCH is not set")
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    set(${out} ${epoch} PARENT_SCOPE)
endfunction()

# kivvm_stage(<root> <command>...): runs the install command (a cmake
# --install command line) into root, emptied first.
function(kivvm_stage root)
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    execute_process(COMMAND ${ARGN} OUTPUT_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot stage into ${root}: ${ARGN}")
    endif()
endfunction()

# kivvm_normalize(<root> <epoch>): gives root and every directory under it
# mode 755 and every path in it, symbolic links included, the time epoch, so
# that an archive of root depends on nothing but what was built.
function(kivvm_normalize root epoch)
    file(GLOB_RECURSE paths LIST_DIRECTORIES true ${root}/*)
    foreach(path IN LISTS paths root)
        if(IS_DIRECTORY ${path} AND NOT IS_SYMLINK ${path})
            file(CHMOD ${path} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
        endif()
    endforeach()
    find_program(touch touch)
    if(NOT touch)
        message(FATAL_ERROR "touch is not installed: cannot set the staged files' times")
    endif()
    execute_process(COMMAND ${touch} -h -d @${epoch} ${root} ${paths} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot set the times of the staged files")
    endif()
endfunction()
