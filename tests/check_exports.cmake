# SPDX-License-Identifier: MIT
# Compares the names a built library exports with the expected interface.
#   cmake -DFORMAT=elf -DTOOL=<nm> -DLIBRARY=<.so> -DEXPECTED=<.def> -P check_exports.cmake
#   cmake -DFORMAT=pe -DTOOL=<objdump> -DLIBRARY=<.dll> -DEXPECTED=<.def> -P check_exports.cmake
# For a DLL, given -DNM=<nm> -DIMPORT_LIBRARY=<.dll.a> -DDECORATION=<prefix>,
# it also checks that the import library a host links with holds exactly the
# interface under its C names: "_KIVVMInit" on 32-bit Windows is cdecl; stdcall would give
# "_KIVVMInit@4".
cmake_minimum_required(VERSION 3.25)

foreach(var FORMAT TOOL LIBRARY EXPECTED)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_exports: ${var} is not set")
    endif()
endforeach()

if(FORMAT STREQUAL "elf")
    set(command "${TOOL}" -D --defined-only "${LIBRARY}")
    # "address type name": every defined dynamic symbol counts.
    set(export_line "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
else()
    set(command "${TOOL}" -p "${LIBRARY}")
    # The name pointer table: "\t[   0] KIVVMFreeSetupPaths".
    set(export_line "^\t\\[ *[0-9]+\\] ([^ ]+)$")
endif()
execute_process(COMMAND ${command} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check_exports: ${TOOL} failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(actual "")
foreach(line IN LISTS lines)
    if(line MATCHES "${export_line}")
        list(APPEND actual "${CMAKE_MATCH_1}")
    endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/read-def.cmake)
kivvm_read_def("${EXPECTED}" expected)
kivvm_compare_names(problem "the exports of ${LIBRARY}" actual expected)
if(problem)
    message(FATAL_ERROR "${problem}")
endif()
list(LENGTH actual n)
message(STATUS "exports: exactly the ${n} names of the interface")

if(DEFINED IMPORT_LIBRARY)
    execute_process(COMMAND "${NM}" "${IMPORT_LIBRARY}" OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "check_exports: ${NM} failed on ${IMPORT_LIBRARY}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${listing}")
    set(linked "")
    foreach(line IN LISTS lines)
        # (a short import member also lists its section, ".text")
        if(line MATCHES "^[0-9a-fA-F]+ T ([^ .][^ ]*)$")
            list(APPEND linked "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    list(TRANSFORM expected PREPEND "${DECORATION}")
    kivvm_compare_names(problem "the C names of ${IMPORT_LIBRARY}" linked expected)
    if(problem)
        message(FATAL_ERROR "${problem}")
    endif()
    message(STATUS "import library: the interface as plain C names")
endif()
