# SPDX-License-Identifier: MIT
# The C runtime a Windows DLL or program imports, chosen per target.
#
# mingw-w64 links msvcrt.dll unless told otherwise; clang leaves it out when
# the link names another runtime.  The runtime's headers are matched with the
# macro mingw-w64 reads for them (windows.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
set(KIVVM_WINDOWS_CRT "msvcrt" CACHE STRING "The C runtime the Windows DLL imports: one of ${KIVVM_WINDOWS_CRTS}")
set_property(CACHE KIVVM_WINDOWS_CRT PROPERTY STRINGS ${KIVVM_WINDOWS_CRTS})

function(kivvm_use_windows_crt target crt)
    if(NOT crt IN_LIST KIVVM_WINDOWS_CRTS)
        message(FATAL_ERROR "unknown Windows C runtime '${crt}' (one of: ${KIVVM_WINDOWS_CRTS})")
    endif()
    target_compile_definitions(${target} PRIVATE ${KIVVM_CRT_DEFINITION_${crt}})
    target_link_options(${target} PRIVATE -l${crt})
endfunction()
