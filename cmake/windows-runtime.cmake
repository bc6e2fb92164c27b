# SPDX-License-Identifier: MIT
# The C runtime a Windows DLL or program imports, chosen per target.
#
# mingw-w64 links msvcrt.dll unless told otherwise, and GCC 12 has no
# -mcrtdll, so a target switches runtime through a specs file: the compiler's
# own, with its runtime library replaced.  The runtime's headers are matched
# with the macro mingw-w64 reads for them.
set(KIVVM_WINDOWS_CRTS msvcr80 ucrt msvcrt)

function(kivvm_use_windows_crt target crt)
    if(NOT crt IN_LIST KIVVM_WINDOWS_CRTS)
        message(FATAL_ERROR "unknown Windows C runtime '${crt}' (one of: ${KIVVM_WINDOWS_CRTS})")
    endif()
    if(crt STREQUAL "msvcrt")
        return()  # the toolchain's default
    endif()
    set(specs ${PROJECT_BINARY_DIR}/windows-runtime/${crt}.specs)
    if(NOT EXISTS ${specs})
        execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpspecs
            OUTPUT_VARIABLE default_specs RESULT_VARIABLE rc)
        string(REGEX REPLACE "-lmsvcrt( |\n)" "-l${crt}\\1" crt_specs "${default_specs}")
        if(NOT rc EQUAL 0 OR crt_specs STREQUAL default_specs)
            message(FATAL_ERROR "cannot make a specs file for ${crt} from ${CMAKE_C_COMPILER} -dumpspecs")
        endif()
        file(WRITE ${specs} "${crt_specs}")
    endif()
    if(crt STREQUAL "msvcr80")
        target_compile_definitions(${target} PRIVATE __MSVCRT_VERSION__=0x800)
    else()
        target_compile_definitions(${target} PRIVATE _UCRT)
    endif()
    target_link_options(${target} PRIVATE -specs=${specs})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${specs})
endfunction()
