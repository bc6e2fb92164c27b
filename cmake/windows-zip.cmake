# SPDX-License-Identifier: MIT
# A Windows zip, made by the target "packages", in BUILD_DIR/NAME.zip, all
# under one directory NAME: without KIT, everything the install rules
# install, stripped; with KIT, a file that lists files and directories one to
# a line, each put at the top, .exe and .dll stripped with STRIP and .cmd
# with Windows line ends.
#   cmake -DBUILD_DIR=<build> -DNAME=<name> -DVERSION=<x.y.z> -DRELEASE_EPOCH=<seconds>
#         [-DKIT=<list> -DSTRIP=<strip>] -P windows-zip.cmake
# The zip holds the files in name order, each with the time of the release
# (see kivvm_package_epoch) written as UTC, and the permissions the install
# rules give: the same bytes from every build of the same sources.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/stage.cmake)

kivvm_package_epoch(epoch)
set(stage ${BUILD_DIR}/staging/${NAME})
if(NOT KIT)
    kivvm_stage(${stage} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage}/${NAME} --strip)
else()
    file(REMOVE_RECURSE ${stage})
    file(MAKE_DIRECTORY ${stage}/${NAME})
    file(STRINGS ${KIT} paths)
    foreach(path IN LISTS paths)
        set(rc 0)
        get_filename_component(name ${path} NAME)
        set(staged ${stage}/${NAME}/${name})
        if(path MATCHES "\\.(exe|dll)$")
            execute_process(COMMAND ${STRIP} -o ${staged} ${path} RESULT_VARIABLE rc)
        elseif(path MATCHES "\\.cmd$")
            file(READ ${path} text)
            string(REPLACE "\n" "\r\n" text "${text}")
            file(WRITE ${staged} "${text}")
        else()
            file(COPY ${path} DESTINATION ${stage}/${NAME})
        endif()
        if(rc)
            message(FATAL_ERROR "cannot stage ${path}")
        endif()
    endforeach()
endif()
kivvm_normalize(${stage} ${epoch})

file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(SORT files)
list(JOIN files "\n" listing)
file(WRITE ${BUILD_DIR}/${NAME}.files "${listing}\n")
set(zip ${BUILD_DIR}/${NAME}.zip)
file(REMOVE ${zip})
# A zip entry's time is written in local time: the zone is fixed to UTC.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
        ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip --files-from=${BUILD_DIR}/${NAME}.files
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot write ${zip}")
endif()
file(REMOVE ${BUILD_DIR}/${NAME}.files)
message(STATUS "wrote ${zip}")
