# SPDX-License-Identifier: MIT
# CHANGELOG.md has a dated entry for the library's version, and
# debian/changelog's top entry and the manual page carry that version and date.
#   cmake -DSOURCE_DIR=<source> -DVERSION=<x.y.z> -DMANPAGE=<file> -P check_release.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/release.cmake)
kivvm_release_date(date ${VERSION})
if(NOT date MATCHES "^([0-9]+)-([0-9]+)-([0-9]+)$")
    message(FATAL_ERROR "CHANGELOG.md has no entry \"## ${VERSION} - <YYYY-MM-DD>\" for the version "
                        "in kivvariantmanager_version.h")
endif()
string(REPLACE "." "\\." version_pattern "${VERSION}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR month "${CMAKE_MATCH_2} - 1")
list(GET months ${month} month)
set(day_month_year "${CMAKE_MATCH_3} ${month} ${CMAKE_MATCH_1}")

file(STRINGS ${SOURCE_DIR}/debian/changelog debian)
list(GET debian 0 heading)
list(FILTER debian INCLUDE REGEX "^ -- ")
list(GET debian 0 trailer)
if(NOT heading MATCHES "^kivvariantmanager \\(${version_pattern}\\) " OR NOT trailer MATCHES ", ${day_month_year} ")
    message(FATAL_ERROR "debian/changelog's top entry is not ${VERSION} of ${date}:\n${heading}\n${trailer}")
endif()

file(STRINGS ${MANPAGE} title REGEX "^\\.TH ")
if(NOT title STREQUAL ".TH KIVVM 1 \"${date}\" \"kivvariantmanager ${VERSION}\" \"User Commands\"")
    message(FATAL_ERROR "the manual page is not ${VERSION} of ${date}: ${title}")
endif()
message(STATUS "${VERSION} of ${date}: CHANGELOG.md, debian/changelog and the manual page agree")
