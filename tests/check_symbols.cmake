# SPDX-License-Identifier: MIT
# Debian's symbols file names exactly the exports of the .def, each with the
# version that first had it.  dpkg-gensymbols (DPKG_GENSYMBOLS_CHECK_LEVEL=4)
# holds it to the built library too, but only in a Debian package build and
# on ELF; this holds it to the .def in every build, for 15 lines.
#   cmake -DDEF=<kivvariantmanager.def> -DSYMBOLS=<libkivvariantmanager1.symbols> -P check_symbols.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/read-def.cmake)
kivvm_read_def(${DEF} exports)
file(STRINGS ${SYMBOLS} lines REGEX "^ ")
set(symbols "")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^ ([A-Za-z_][A-Za-z0-9_]*)@Base [0-9]+\\.[0-9]+\\.[0-9]+$")
        message(FATAL_ERROR "${SYMBOLS}: cannot read '${line}'")
    endif()
    list(APPEND symbols ${CMAKE_MATCH_1})
endforeach()
kivvm_compare_names(problem "the symbols of ${SYMBOLS}" symbols exports)
if(problem)
    message(FATAL_ERROR "${problem}")
endif()
