# Compares the names a built library exports with the expected interface.
#   cmake -DNM=<nm> -DLIBRARY=<file> -DEXPECTED=<exports.txt> -P check_exports.cmake
foreach(var NM LIBRARY EXPECTED)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_exports: ${var} is not set")
    endif()
endforeach()

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
    OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check_exports: ${NM} failed on ${LIBRARY}")
endif()

# nm prints "address type name"; every defined dynamic symbol counts.
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(actual "")
foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
        list(APPEND actual "${CMAKE_MATCH_1}")
    endif()
endforeach()

file(STRINGS "${EXPECTED}" expected)
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
    list(JOIN actual "\n  " a)
    list(JOIN expected "\n  " e)
    message(FATAL_ERROR "exports differ from the interface\nexported:\n  ${a}\nexpected:\n  ${e}")
endif()
list(LENGTH actual n)
message(STATUS "exports: exactly the ${n} names of the interface")
