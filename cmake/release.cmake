# SPDX-License-Identifier: MIT
# The release facts, each read from its one home: the version from the
# public version header (kivvm_version_MAJOR, _MINOR, _PATCH, for project()),
# and with kivvm_release_date(<out> <version>) the date of that version's
# entry in CHANGELOG.md ("## <version> - <YYYY-MM-DD>"), empty if it has none.
set(kivvm_release_sources ${CMAKE_CURRENT_LIST_DIR}/..)
file(STRINGS ${kivvm_release_sources}/dll/kivvariantmanager/include/kivvariantmanager_version.h kivvm_version_lines
    REGEX "^#define KIVVM_VERSION_(MAJOR|MINOR|PATCH) ")
foreach(line IN LISTS kivvm_version_lines)
    string(REGEX MATCH "KIVVM_VERSION_([A-Z]+) +([0-9]+)" _ "${line}")
    set(kivvm_version_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()

function(kivvm_release_date out version)
    set(changelog ${kivvm_release_sources}/CHANGELOG.md)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
    string(REPLACE "." "\\." version_pattern "${version}")
    file(STRINGS ${changelog} entry REGEX "^## ${version_pattern} - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
    string(REGEX REPLACE "^## [^ ]+ - " "" date "${entry}")
    set(${out} "${date}" PARENT_SCOPE)
endfunction()
