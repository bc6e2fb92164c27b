# SPDX-License-Identifier: MIT
# The Visual C++ import library holds the interface in the short import
# format: one member per export, which makes the host look the function up
# by its plain name (a 32-bit C name loses its leading underscore: name type
# "noprefix").
#   cmake -DREADOBJ=<llvm-readobj> -DMSVC_IMPORT_LIBRARY=<.lib> -DDEF=<.def> -P check_msvc_import_library.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/read-def.cmake)

execute_process(COMMAND ${READOBJ} ${MSVC_IMPORT_LIBRARY} OUTPUT_VARIABLE members COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "Format: COFF-import-file\nType: code\nName type: [a-z]+\nSymbol: __imp_[A-Za-z0-9_]+"
       entries "${members}")
set(imported_names "")
foreach(entry IN LISTS entries)
    string(REGEX MATCH "Name type: ([a-z]+)\nSymbol: __imp_([A-Za-z0-9_]+)$" _ "${entry}")
    set(name_type ${CMAKE_MATCH_1})
    set(symbol ${CMAKE_MATCH_2})
    if(name_type STREQUAL "noprefix" AND symbol MATCHES "^_(.+)$")
        set(symbol ${CMAKE_MATCH_1})
    elseif(NOT name_type STREQUAL "name")
        message(SEND_ERROR "${MSVC_IMPORT_LIBRARY}: ${entry}")
    endif()
    list(APPEND imported_names ${symbol})
endforeach()
kivvm_read_def(${DEF} expected)
kivvm_compare_names(problem "the short imports of ${MSVC_IMPORT_LIBRARY}" imported_names expected)
if(problem)
    message(FATAL_ERROR "${problem}")
endif()
list(LENGTH imported_names count)
message(STATUS "${MSVC_IMPORT_LIBRARY}: the ${count} functions of the interface as short imports")
