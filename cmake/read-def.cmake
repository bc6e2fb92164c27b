# SPDX-License-Identifier: MIT
# kivvm_read_def(<file.def> <out-var>): the names a module-definition file
# exports, in its order.  Used by the build and by the tests' scripts.
function(kivvm_read_def def out)
    file(STRINGS ${def} lines REGEX "^[^;]")  # lines that are not comments
    set(names "")
    set(in_exports FALSE)
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        if(line STREQUAL "EXPORTS")
            set(in_exports TRUE)
        elseif(in_exports AND line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
            list(APPEND names ${line})
        elseif(in_exports AND NOT line STREQUAL "")
            message(FATAL_ERROR "${def}: cannot read export '${line}'")
        endif()
    endforeach()
    if(names STREQUAL "")
        message(FATAL_ERROR "${def}: no exports")
    endif()
    set(${out} ${names} PARENT_SCOPE)
endfunction()
