# SPDX-License-Identifier: MIT
# The Debian packages that dpkg-buildpackage made in DIR, unpacked together
# under WORK, hold every file an install holds.  (Their
# control data is debian/control's, which lintian, piuparts and autopkgtest
# check, and their binaries' protections are hardening-check's: see
# .ci/fresh-machine.  No packaged tool knows which files we install.)
#   cmake -DDIR=<where the packages are> -DWORK=<dir> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
set(PACKAGED ON)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

file(GLOB changes ${DIR}/kivvariantmanager_*.changes)
if(NOT changes MATCHES "kivvariantmanager_([^_]+)_([^_/]+)\\.changes$")
    message(FATAL_ERROR "no kivvariantmanager_*.changes in ${DIR}")
endif()
set(version ${CMAKE_MATCH_1})
set(arch ${CMAKE_MATCH_2})
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE triplet
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${WORK}")
foreach(package libkivvariantmanager1 libkivvariantmanager-dev kivvm libkivvariantmanager1-dbgsym kivvm-dbgsym)
    execute_process(COMMAND dpkg-deb -x ${DIR}/${package}_${version}_${arch}.deb ${WORK} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
kivvm_check_installed_files("${WORK}/usr" "lib/${triplet}" "${version}")
