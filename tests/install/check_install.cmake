# SPDX-License-Identifier: MIT
# Installs the build tree into a fresh prefix and checks what arrived.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<dir> -DLIBDIR=<lib dir> -DVERSION=<x.y.z> [-DWINDOWS=ON]
#         -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
    OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
kivvm_check_installed_files("${PREFIX}" "${LIBDIR}" "${VERSION}")

# The installed kivvm finds the installed library by itself.
if(NOT WINDOWS)
    execute_process(COMMAND "${PREFIX}/bin/kivvm" farunbastion OUTPUT_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "the installed kivvm does not run")
    endif()
endif()
