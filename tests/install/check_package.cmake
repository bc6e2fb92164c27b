# SPDX-License-Identifier: MIT
# Builds the Debian package, checks its contents and dependencies, unpacks it
# and builds consumers against what it unpacked; lintian, where installed,
# must report no error.
#   cmake -DBUILD_DIR=<build> -DWORK=<dir> -DCC=<c compiler> -DLIBDIR=<lib dir>
#         -DVERSION=<x.y.z> -DCPACK=<cpack> -DCTEST=<ctest> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/root")
execute_process(COMMAND "${CPACK}" -G DEB -B "${WORK}" --config "${BUILD_DIR}/CPackConfig.cmake"
    OUTPUT_QUIET RESULT_VARIABLE rc)
file(GLOB deb "${WORK}/*.deb")
if(NOT rc EQUAL 0 OR NOT deb)
    message(FATAL_ERROR "cpack made no Debian package")
endif()
message(STATUS "package: ${deb}")

execute_process(COMMAND dpkg-deb --field "${deb}" Depends OUTPUT_VARIABLE depends)
message(STATUS "Depends: ${depends}")
if(NOT depends MATCHES "libc6 \\(>= " OR NOT depends MATCHES "libstdc\\+\\+6 \\(>= ")
    message(FATAL_ERROR "the package's dependencies lack the C or C++ runtime: ${depends}")
endif()

execute_process(COMMAND dpkg-deb -x "${deb}" "${WORK}/root" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot unpack ${deb}")
endif()
kivvm_check_installed_files("${WORK}/root/usr" "${LIBDIR}" "${VERSION}")

execute_process(COMMAND "${CTEST}" --build-and-test
        ${CMAKE_CURRENT_LIST_DIR}/find_package "${WORK}/find_package"
        --build-generator Ninja
        --build-options "-DCMAKE_PREFIX_PATH=${WORK}/root/usr"
        --test-command consumer
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the find_package consumer fails against the package")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DCC=${CC} "-DPREFIX=${WORK}/root/usr" -DLIBDIR=${LIBDIR}
        "-DWORK=${WORK}/pkg_config" -P ${CMAKE_CURRENT_LIST_DIR}/pkg_config.cmake
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the pkg-config consumer fails against the package")
endif()

find_program(LINTIAN lintian)
if(LINTIAN)
    execute_process(COMMAND "${LINTIAN}" "${deb}" OUTPUT_VARIABLE report ERROR_VARIABLE report_errors)
    message(STATUS "lintian:\n${report}")
    if(report MATCHES "(^|\n)E: ")
        message(FATAL_ERROR "lintian reports errors")
    endif()
else()
    message(STATUS "lintian is not installed; skipped")
endif()
