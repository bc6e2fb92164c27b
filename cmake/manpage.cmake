# SPDX-License-Identifier: MIT
# The library's section 3 manual page, made from the public header's own
# comments, so that each fact keeps its one home in the header.
#   cmake -DHEADER=<kivvariantmanager.h> -DNAMES=<the exports> -DOUTPUT=<kivvariantmanager.3>
#         -DDATE=<YYYY-MM-DD> -DVERSION=<x.y.z> -P manpage.cmake
# The header must declare exactly the exports, which the page names.
# The header's leading comment gives the name line and the description, its
# "Heading" lines with text indented under them the subsections; each
# "---- Section ----" comment starts a section of the functions, and each
# comment documents the declarations that follow it.  Text indented beyond
# its paragraph (a table) is kept as it is laid out.
cmake_minimum_required(VERSION 3.25)

# Text as roff reads it: backslashes escaped, no line taken for a request.
function(roff out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A comment's lines (without " * ") as roff paragraphs: blank lines part
# them; lines indented deeper than indent, or with columns lined up by runs
# of spaces, are a table, kept as they are laid out.
function(paragraphs out indent)
    set(text "")
    set(state start)  # start, text or table
    foreach(line IN LISTS ARGN)
        roff(line "${line}")
        if(line STREQUAL "<kivvm-blank>")
            if(state STREQUAL "table")
                string(APPEND text ".fi\n")
            endif()
            set(state start)
        elseif(line MATCHES "^${indent}  +[^ ]" OR line MATCHES "[^ ]   +[^ ]")
            if(NOT state STREQUAL "table")
                string(APPEND text ".PP\n.nf\n")
                set(state table)
            endif()
            string(LENGTH "${indent}" skip)
            string(SUBSTRING "${line}" ${skip} -1 line)
            string(APPEND text "${line}\n")
        else()
            if(state STREQUAL "table")
                string(APPEND text ".fi\n")
            endif()
            if(NOT state STREQUAL "text")
                string(APPEND text ".PP\n")
            endif()
            string(REGEX REPLACE "^ +" "" line "${line}")
            string(APPEND text "${line}\n")
            set(state text)
        endif()
    endforeach()
    if(state STREQUAL "table")
        string(APPEND text ".fi\n")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Adds the declarations read since the last comment, with that comment, to
# the functions' text.
macro(flush_group)
    if(group)
        string(APPEND functions ".PP\n.nf\n")
        foreach(declaration IN LISTS group)
            string(APPEND functions ".B \"${declaration}\"\n")
        endforeach()
        paragraphs(documentation "" ${group_comment})
        string(APPEND functions ".fi\n${documentation}")
        set(group "")
        set(group_comment "")
    endif()
endmacro()

file(READ ${HEADER} header)
# One list element per line; a ';' must not split a line.
string(REPLACE ";" "<kivvm-semicolon>" header "${header}")
string(REPLACE "\n" ";" lines "${header}")

set(names "")
set(synopsis "")
set(description "")
set(functions "")
set(comment "")        # the lines of the last comment
set(in_comment FALSE)
set(leading TRUE)      # until the end of the header's leading comment
set(group "")          # declarations documented by group_comment
set(group_comment "")
foreach(line IN LISTS lines)
    if(in_comment)
        if(line MATCHES "^ ?\\*? ?(.*)\\*/$")
            set(in_comment FALSE)
            string(STRIP "${CMAKE_MATCH_1}" last)
            if(NOT last STREQUAL "")
                list(APPEND comment "${last}")
            endif()
        else()
            string(REGEX REPLACE "^ \\* ?" "" text "${line}")
            if(text STREQUAL "")
                set(text "<kivvm-blank>")  # a list keeps no empty line
            endif()
            list(APPEND comment "${text}")
        endif()
        if(NOT in_comment AND leading)
            set(leading FALSE)
            list(POP_FRONT comment title)
            string(REGEX REPLACE "^[^ ]+ - " "" summary "${title}")
            # "Heading" lines, with the lines under them indented.
            set(section "")
            foreach(text IN LISTS comment)
                if(text MATCHES "^[A-Z][^ ].*[^.]$" AND NOT text MATCHES "  ")
                    paragraphs(body "  " ${section})
                    string(APPEND description "${body}.SS ${text}\n")
                    set(section "")
                else()
                    list(APPEND section "${text}")
                endif()
            endforeach()
            paragraphs(body "  " ${section})
            string(APPEND description "${body}")
            set(comment "")
        endif()
    elseif(line MATCHES "^/\\* ---- (.*) -+ \\*/$")
        flush_group()
        string(APPEND functions ".SS ${CMAKE_MATCH_1}\n")
        set(comment "")
    elseif(line MATCHES "^/\\* (.*) \\*/$")
        flush_group()
        set(comment "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^/\\*(.*)")
        flush_group()
        string(STRIP "${CMAKE_MATCH_1}" first)
        set(comment "")
        if(NOT first STREQUAL "")
            set(comment "${first}")
        endif()
        set(in_comment TRUE)
    elseif(line MATCHES "^KIVVM_API (.*(KIVVM[A-Za-z]+)\\(.*\\)) KIVVM_NOEXCEPT<kivvm-semicolon>$")
        string(REPLACE "KIVVM_CALL " "" declaration "${CMAKE_MATCH_1}")
        string(REPLACE " KIVVM_CALL" "" declaration "${declaration}")
        list(APPEND names ${CMAKE_MATCH_2})
        string(APPEND synopsis "${declaration}<kivvm-semicolon>\n")
        if(NOT comment STREQUAL "")
            flush_group()
            set(group_comment "${comment}")
            set(comment "")
        endif()
        list(APPEND group "${declaration}<kivvm-semicolon>")
    elseif(NOT line STREQUAL "")
        flush_group()
        set(comment "")
    endif()
endforeach()
flush_group()

include(${CMAKE_CURRENT_LIST_DIR}/read-def.cmake)
kivvm_compare_names(problem "the declarations of ${HEADER}" names NAMES)
if(problem)
    message(FATAL_ERROR "${problem}")
endif()
list(JOIN NAMES ", " name_list)
roff(summary "${summary}")
set(page ".TH KIVVARIANTMANAGER 3 \"${DATE}\" \"kivvariantmanager ${VERSION}\" \"Library Functions Manual\"
.SH NAME
kivvariantmanager, ${name_list} \\- ${summary}
.SH LIBRARY
kivvariantmanager
.RI ( libkivvariantmanager \", \" \\-lkivvariantmanager )
.SH SYNOPSIS
.nf
.B #include <kivvariantmanager.h>
.PP
${synopsis}.fi
.SH DESCRIPTION
${description}.SH FUNCTIONS
${functions}.SH SEE ALSO
.BR kivvm (1)
")
string(REPLACE "<kivvm-semicolon>" ";" page "${page}")
file(WRITE ${OUTPUT}.new "${page}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
