# SPDX-License-Identifier: MIT
# A Windows zip, made by the target "packages", in BUILD_DIR/NAME.zip, all
# under one directory NAME: without KIT, everything the install rules
# install, stripped; with KIT, a file that lists files and directories one to
# a line, each put at the top, .exe and .dll stripped with STRIP.
#   cmake -DBUILD_DIR=<build> -DNAME=<name> -DRELEASE_DATE=<YYYY-MM-DD>
#         [-DKIT=<list> -DSTRIP=<strip>] -P windows-zip.cmake
# Every directory, program and script has mode 755, every other file 644,
# every entry one time, SOURCE_DATE_EPOCH when it is set, else the release
# date at 00:00 UTC, and the zip lists its files in name order: the same
# bytes from every build of the same sources, whatever the umask, the
# directory or the time.
cmake_minimum_required(VERSION 3.25)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
elseif(RELEASE_DATE)
    execute_process(COMMAND date -u -d "${RELEASE_DATE} 00:00" +%s OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "no time for the zipped files: CHANGELOG.md has no entry for this version, "
                        "and SOURCE_DATE_EPOCH is not set")
endif()

set(stage ${BUILD_DIR}/staging/${NAME})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/${NAME})
if(NOT KIT)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage}/${NAME} --strip
        OUTPUT_QUIET RESULT_VARIABLE rc)
else()
    file(STRINGS ${KIT} paths)
    foreach(path IN LISTS paths)
        get_filename_component(name ${path} NAME)
        if(path MATCHES "\\.(exe|dll)$")
            execute_process(COMMAND ${STRIP} -o ${stage}/${NAME}/${name} ${path} RESULT_VARIABLE rc)
        else()
            file(COPY ${path} DESTINATION ${stage}/${NAME})
        endif()
        if(rc)
            break()
        endif()
    endforeach()
endif()
if(rc)
    message(FATAL_ERROR "cannot stage ${NAME}")
endif()

file(GLOB_RECURSE paths LIST_DIRECTORIES true RELATIVE ${stage} ${stage}/*)
foreach(path IN LISTS paths)
    set(mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    if(IS_DIRECTORY ${stage}/${path} OR path MATCHES "\\.(exe|dll|cmd)$")
        list(APPEND mode OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
    endif()
    file(CHMOD ${stage}/${path} PERMISSIONS ${mode})
endforeach()

file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(SORT files)
list(JOIN files "\n" listing)
file(WRITE ${BUILD_DIR}/${NAME}.files "${listing}\n")
set(zip ${BUILD_DIR}/${NAME}.zip)
file(REMOVE ${zip})
# Every entry gets the time SOURCE_DATE_EPOCH says, written in local time:
# the zone is fixed to UTC.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC SOURCE_DATE_EPOCH=${epoch}
        ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip --files-from=${BUILD_DIR}/${NAME}.files
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
file(REMOVE ${BUILD_DIR}/${NAME}.files)
if(rc)
    message(FATAL_ERROR "cannot write ${zip}")
endif()
message(STATUS "wrote ${zip}")
