# SPDX-License-Identifier: MIT
# The Windows zip, made by the target "packages": everything the install
# rules install, stripped, under one directory NAME, in BUILD_DIR/NAME.zip.
#   cmake -DBUILD_DIR=<build> -DNAME=<name> -DVERSION=<x.y.z> -DRELEASE_EPOCH=<seconds>
#         -P windows-zip.cmake
# The zip holds the files in name order, each with the time of the release
# (see kivvm_package_epoch) written as UTC, and the permissions the install
# rules give: the same bytes from every build of the same sources.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/stage.cmake)

kivvm_package_epoch(epoch)
set(stage ${BUILD_DIR}/zip-staging)
kivvm_stage(${stage} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage}/${NAME} --strip)
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
