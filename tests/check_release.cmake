# SPDX-License-Identifier: MIT
# The release facts agree with their one home: CHANGELOG.md has a dated entry
# for the library's version, and the Debian changelog's top entry and the
# manual page carry that version and that date.
#   cmake -DSOURCE_DIR=<source> -DVERSION=<x.y.z> -DDEBIAN_CHANGELOG=<file>
#         -DMANPAGE=<file> -P check_release.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/changelog.cmake)

kivvm_read_changelog(${SOURCE_DIR}/CHANGELOG.md ${VERSION} release)
if(NOT release_DATE)
    message(FATAL_ERROR "CHANGELOG.md has no entry \"## ${VERSION} - <YYYY-MM-DD>\" for the version "
                        "in kivvariantmanager_version.h")
endif()
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${release_DATE}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR month "${CMAKE_MATCH_2} - 1")
list(GET months ${month} month)
set(day_month_year "${CMAKE_MATCH_3} ${month} ${CMAKE_MATCH_1}")

file(STRINGS ${DEBIAN_CHANGELOG} debian)
list(GET debian 0 heading)
list(FILTER debian INCLUDE REGEX "^ -- ")
list(GET debian 0 trailer)
if(NOT heading MATCHES "^kivvariantmanager \\(${VERSION}\\) " OR NOT trailer MATCHES ", ${day_month_year} ")
    message(FATAL_ERROR "the Debian changelog's top entry is not ${VERSION} of ${release_DATE}:\n"
                        "${heading}\n${trailer}")
endif()

file(STRINGS ${MANPAGE} title REGEX "^\\.TH ")
if(NOT title STREQUAL ".TH KIVVM 1 \"${release_DATE}\" \"kivvariantmanager ${VERSION}\" \"User Commands\"")
    message(FATAL_ERROR "the manual page is not ${VERSION} of ${release_DATE}: ${title}")
endif()
message(STATUS "${VERSION} of ${release_DATE}: CHANGELOG.md, the Debian changelog and the manual page agree")
