# SPDX-License-Identifier: MIT
# Release facts from CHANGELOG.md, where each release's entry is headed
# "## <version> - <YYYY-MM-DD>" and followed by its notes, "- " items whose
# further lines are indented by two spaces.
#
# kivvm_read_changelog(<changelog> <version> <prefix> [DEBIAN <source> <maintainer>])
#   <prefix>_DATE   the date of <version>'s entry, YYYY-MM-DD, or empty when
#                   the changelog has no entry for it
#   <prefix>_EPOCH  that date at 00:00 UTC, in seconds since 1970
#   <prefix>_DEBIAN with DEBIAN: the entries from <version>'s down, as a
#                   Debian changelog of source package <source>
function(kivvm_read_changelog changelog version prefix)
    cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "DEBIAN")
    file(READ ${changelog} text)
    # One list element per line; a ';' must not split a line.
    string(REPLACE ";" "<kivvm-semicolon>" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")

    set(date "")
    set(epoch "")
    set(debian "")
    set(trailer "")
    set(reading FALSE)  # from <version>'s entry on
    foreach(line IN LISTS lines)
        if(line MATCHES "^## ([^ ]+) - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
            set(entry ${CMAKE_MATCH_1})
            set(entry_date ${CMAKE_MATCH_2})
            if(NOT reading AND NOT entry STREQUAL version)
                continue()
            endif()
            string(APPEND debian "${trailer}")
            kivvm_date_epoch(${entry_date} entry_epoch)
            if(NOT reading)
                set(reading TRUE)
                set(date ${entry_date})
                set(epoch ${entry_epoch})
            endif()
            if(arg_DEBIAN)
                list(GET arg_DEBIAN 0 source)
                list(GET arg_DEBIAN 1 maintainer)
                # The time as a Debian changelog writes it, in the C locale.
                set(saved "$ENV{SOURCE_DATE_EPOCH}")
                set(ENV{SOURCE_DATE_EPOCH} ${entry_epoch})
                string(TIMESTAMP stamp "%a, %d %b %Y %H:%M:%S +0000" UTC)
                set(ENV{SOURCE_DATE_EPOCH} "${saved}")
                string(APPEND debian "${source} (${entry}) unstable; urgency=medium\n\n")
                set(trailer "\n -- ${maintainer}  ${stamp}\n\n")
            endif()
        elseif(reading AND line MATCHES "^- (.*)")
            string(APPEND debian "  * ${CMAKE_MATCH_1}\n")
        elseif(reading AND line MATCHES "^  (.*)")
            string(APPEND debian "    ${CMAKE_MATCH_1}\n")
        endif()
    endforeach()
    string(APPEND debian "${trailer}")
    string(REPLACE "<kivvm-semicolon>" ";" debian "${debian}")
    string(REGEX REPLACE "\n\n$" "\n" debian "${debian}")
    set(${prefix}_DATE "${date}" PARENT_SCOPE)
    set(${prefix}_EPOCH "${epoch}" PARENT_SCOPE)
    set(${prefix}_DEBIAN "${debian}" PARENT_SCOPE)
endfunction()

# kivvm_date_epoch(<YYYY-MM-DD> <out-var>): that day at 00:00 UTC in seconds
# since 1970 (days from the civil date, counting years from March).
function(kivvm_date_epoch date out)
    string(REGEX MATCH "^([0-9]+)-0*([0-9]+)-0*([0-9]+)$" _ "${date}")
    set(year ${CMAKE_MATCH_1})
    set(month ${CMAKE_MATCH_2})
    set(day ${CMAKE_MATCH_3})
    if(month LESS_EQUAL 2)
        math(EXPR year "${year} - 1")
        math(EXPR month "${month} + 9")
    else()
        math(EXPR month "${month} - 3")
    endif()
    math(EXPR era "${year} / 400")
    math(EXPR year_of_era "${year} - ${era} * 400")
    math(EXPR day_of_year "(153 * ${month} + 2) / 5 + ${day} - 1")
    math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
    math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
    math(EXPR seconds "${days} * 86400")
    set(${out} ${seconds} PARENT_SCOPE)
endfunction()
