# SPDX-License-Identifier: MIT
# CHANGELOG.md has a dated entry for the library's version, and
# debian/changelog's top entry and the manual page carry that version and date.
#   cmake -DSOURCE_DIR=<source> -DVERSION=<x.y.z> -DMANPAGE=<file>
#         -DPARSECHANGELOG=<dpkg-parsechangelog> -P check_release.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/release.cmake)
kivvm_release_date(date ${VERSION})
if(NOT date MATCHES "^([0-9]+)-([0-9]+)-([0-9]+)$")
    message(FATAL_ERROR "CHANGELOG.md has no entry \"## ${VERSION} - <YYYY-MM-DD>\" for the version "
                        "in kivvariantmanager_version.h")
endif()
# debian/changelog's top entry, as dpkg-parsechangelog reads it (its date in UTC).
foreach(field Version Timestamp)
    execute_process(COMMAND ${PARSECHANGELOG} -l ${SOURCE_DIR}/debian/changelog -S ${field}
        OUTPUT_VARIABLE debian_${field} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND date -u -d @${debian_Timestamp} +%F OUTPUT_VARIABLE debian_date
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT debian_Version STREQUAL VERSION OR NOT debian_date STREQUAL date)
    message(FATAL_ERROR "debian/changelog's top entry is ${debian_Version} of ${debian_date}, not ${VERSION} of "
                        "${date}")
endif()

file(STRINGS ${MANPAGE} title REGEX "^\\.TH ")
if(NOT title STREQUAL ".TH KIVVM 1 \"${date}\" \"kivvariantmanager ${VERSION}\" \"User Commands\"")
    message(FATAL_ERROR "the manual page is not ${VERSION} of ${date}: ${title}")
endif()
message(STATUS "${VERSION} of ${date}: CHANGELOG.md, debian/changelog and the manual page agree")
