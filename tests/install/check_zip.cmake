# SPDX-License-Identifier: MIT
# Builds the Windows zip (the target "packages"), checks what it holds, and
# builds a mingw-w64 host against it with find_package, then runs that host
# under the emulator when there is one.
#   cmake -DBUILD_DIR=<build> -DWORK=<dir> -DLIBDIR=<lib dir> -DVERSION=<x.y.z>
#         -DCTEST=<ctest> -DTOOLCHAIN=<toolchain file> -DARCH=<x86|x64>
#         -DEMULATOR=<emulator;args> -DREADOBJ=<llvm-readobj>
#         -DSYMBOLIZER=<llvm-symbolizer> -DDEF=<.def> -P check_zip.cmake
cmake_minimum_required(VERSION 3.25)
set(WINDOWS ON)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/check_pe.cmake)

file(REMOVE_RECURSE "${WORK}")
file(GLOB old "${BUILD_DIR}/*.zip")
if(old)
    file(REMOVE ${old})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${BUILD_DIR}" --target packages
    OUTPUT_QUIET RESULT_VARIABLE rc)
file(GLOB zip "${BUILD_DIR}/*.zip")
list(FILTER zip EXCLUDE REGEX "-tests\\.zip$")
if(NOT rc EQUAL 0 OR NOT zip)
    message(FATAL_ERROR "the target packages made no zip")
endif()
get_filename_component(name "${zip}" NAME_WLE)
message(STATUS "package: ${zip}")

file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${WORK}/unpacked")
set(root "${WORK}/unpacked/${name}")
kivvm_check_installed_files("${root}" "${LIBDIR}" "${VERSION}")
kivvm_check_pe("${root}/bin" ${READOBJ} ${SYMBOLIZER} ${DEF})

# A host built by mingw-w64 finds the package's import library through its
# CMake package; linked statically, it needs only the DLL beside the zip's.
if(EMULATOR)
    set(run --test-command /usr/bin/env "WINEPATH=${root}/bin" ${EMULATOR} "${WORK}/find_package/consumer.exe")
endif()
execute_process(COMMAND "${CTEST}" --build-and-test
        ${CMAKE_CURRENT_LIST_DIR}/find_package "${WORK}/find_package"
        --build-generator Ninja
        --build-options "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" -DKIVVM_WINDOWS_ARCH=${ARCH}
                        "-Dkivvariantmanager_DIR=${root}/${LIBDIR}/cmake/kivvariantmanager"
                        -DCMAKE_EXE_LINKER_FLAGS=-static
        ${run}
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the mingw-w64 consumer fails against the zip")
endif()
