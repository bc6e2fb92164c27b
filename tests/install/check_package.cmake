# SPDX-License-Identifier: MIT
# The Debian packages that dpkg-buildpackage made in DIR, unpacked together
# under WORK, hold every file an install holds.  (Their
# control data is debian/control's, which lintian, piuparts and autopkgtest
# check, and their binaries' protections are hardening-check's: see
# .ci/fresh-machine.  No packaged tool knows which files we install.)  The
# packages are the .changes file's (dcmd), named as debian/control names
# them (dh_listpackages), of debian/changelog's version.
#   cmake -DDIR=<where the packages are> -DWORK=<dir> -DSOURCE_DIR=<the tree> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
set(PACKAGED ON)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

file(GLOB changes ${DIR}/kivvariantmanager_*.changes)
execute_process(COMMAND dcmd --deb ${changes} OUTPUT_VARIABLE debs OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dh_listpackages WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE PACKAGES
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-parsechangelog -l ${SOURCE_DIR}/debian/changelog -S Version OUTPUT_VARIABLE version
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE triplet
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" debs "${debs}")
string(REPLACE "\n" ";" PACKAGES "${PACKAGES}")
file(REMOVE_RECURSE "${WORK}")
foreach(deb IN LISTS debs)
    execute_process(COMMAND dpkg-deb -x ${deb} ${WORK} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
kivvm_check_installed_files("${WORK}/usr" "lib/${triplet}" "${version}")
