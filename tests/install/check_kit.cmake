# SPDX-License-Identifier: MIT
# The test kit, as a Windows user runs it: made by its target, unpacked into
# an empty directory, run-tests.cmd must run every program and pass; with the
# DLL on another runtime in place of its own, it must fail and name the host
# on the DLL's runtime.  Its binaries are checked as shipped.
#   cmake -DBUILD_DIR=<build> -DKIT=<name> -DWORK=<dir> -DWINE=<command>
#         -DPROGRAMS=<how many it runs> -DFOREIGN_DLL=<dll>
#         -DREADOBJ=<llvm-readobj> -DSYMBOLIZER=<llvm-symbolizer>
#         -DDEF=<.def> -P check_kit.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/check_pe.cmake)

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target kivvm_test_kit
    OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${BUILD_DIR}/${KIT}.zip)
    message(FATAL_ERROR "the target kivvm_test_kit made no ${KIT}.zip")
endif()
file(ARCHIVE_EXTRACT INPUT ${BUILD_DIR}/${KIT}.zip DESTINATION ${WORK})
set(kit ${WORK}/${KIT})
kivvm_check_pe(${kit} ${READOBJ} ${SYMBOLIZER} ${DEF})

function(run_kit out_rc out_output)
    execute_process(COMMAND ${WINE} cmd /c run-tests.cmd WORKING_DIRECTORY ${kit}
        OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE rc)
    message(STATUS "run-tests.cmd exited ${rc}:\n${output}")
    set(${out_rc} ${rc} PARENT_SCOPE)
    set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

run_kit(rc output)
if(NOT rc EQUAL 0 OR NOT output MATCHES "\n${PROGRAMS} passed, 0 failed\r?\n")
    message(FATAL_ERROR "the kit does not pass")
endif()

file(COPY_FILE ${FOREIGN_DLL} ${kit}/kivvariantmanager.dll)
run_kit(rc output)
if(rc EQUAL 0 OR NOT output MATCHES "FAIL  kivvm_heap_host_own.exe own")
    message(FATAL_ERROR "with a DLL on another runtime the kit does not fail in the heap host")
endif()
