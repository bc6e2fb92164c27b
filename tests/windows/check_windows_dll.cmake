# SPDX-License-Identifier: MIT
# The Windows DLL as a drop-in for its hosts:
#   - it imports from KERNEL32.dll and its C runtime only, and carries no C++
#     runtime, thread library or exception machinery of its own;
#   - stripped, resources included, it is at most 48 KiB;
#   - it carries a VERSIONINFO with the library's version, file name and
#     build, and a DLL on a runtime that Windows finds through a side-by-side
#     assembly the manifest (RT_MANIFEST, id 2) that binds that assembly
#     (cmake/windows.cmake);
# The resources are read with llvm-readobj and binutils' strings (their
# UTF-16 and ASCII text).
# cmake -DREADOBJ=<llvm-readobj> -DNM=<nm> -DSTRIP=<strip> -DSTRINGS=<strings> -DDLL=<.dll>
#       -DARCH=<x86|x64> -DCRT=<runtime> -DVERSION=<x.y.z> -DWORK=<dir> -P check_windows_dll.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/windows.cmake)

# Imports: KERNEL32.dll, and the runtime's DLLs, whose names windows.cmake
# gives as patterns with a '*'.
set(runtime "")
foreach(pattern IN LISTS KIVVM_CRT_DLLS_${CRT})
    string(REPLACE "." "\\." pattern "${pattern}")
    string(REPLACE "*" "[a-z0-9-]+" pattern "${pattern}")
    list(APPEND runtime "^${pattern}$")
endforeach()
list(JOIN runtime "|" runtime)
execute_process(COMMAND ${READOBJ} --coff-imports ${DLL} OUTPUT_VARIABLE imports COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "Name: [^\n]+\\.dll" imported "${imports}")
list(TRANSFORM imported REPLACE "^Name: " "")
list(TRANSFORM imported TOLOWER)
if(NOT "kernel32.dll" IN_LIST imported)
    message(SEND_ERROR "does not import KERNEL32.dll")
endif()
foreach(dll IN LISTS imported)
    if(NOT dll STREQUAL "kernel32.dll" AND NOT dll MATCHES "${runtime}")
        message(SEND_ERROR "imports ${dll}, which is neither KERNEL32.dll nor the ${CRT} runtime")
    endif()
endforeach()
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n ]*(pthread|__gxx_personality|_Unwind_|__cxa_)[^\n ]*" runtime_symbols "${symbols}")
if(runtime_symbols)
    list(REMOVE_DUPLICATES runtime_symbols)
    message(SEND_ERROR "carries C++ runtime or thread library code: ${runtime_symbols}")
endif()

# Size.
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${DLL} NAME)
execute_process(COMMAND ${STRIP} -o ${WORK}/${name} ${DLL} COMMAND_ERROR_IS_FATAL ANY)
file(SIZE ${WORK}/${name} size)
if(size GREATER 49152)
    message(SEND_ERROR "stripped it has ${size} bytes, more than 48 KiB")
endif()

# Resources: the version's strings, each key followed by its value, and the
# manifest's assembly identity.
execute_process(COMMAND ${READOBJ} --coff-resources ${DLL} OUTPUT_VARIABLE resources COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${STRINGS} -n 3 -el ${DLL} OUTPUT_VARIABLE utf16 COMMAND_ERROR_IS_FATAL ANY)
foreach(entry "FileVersion\n${VERSION}\n" "ProductVersion\n${VERSION}\n"
              "OriginalFilename\nkivvariantmanager.dll\n" "FileDescription\n[^\n]"
              "Architecture\n${ARCH}\n" "CRuntime\n${CRT}\n")
    if(NOT utf16 MATCHES "\n${entry}")
        message(SEND_ERROR "VERSIONINFO lacks ${entry}: ${utf16}")
    endif()
endforeach()
if(DEFINED KIVVM_CRT_ASSEMBLY_${CRT})
    if(NOT resources MATCHES "Type: MANIFEST \\(ID 24\\) \\[[ \n]*Table Offset: [^\n]*\n[^\n]*\n[^\n]*\n *Name: \\(ID 2\\)")
        message(SEND_ERROR "no manifest resource with id 2")
    endif()
    kivvm_windows_fact(architecture ${ARCH} MANIFEST_ARCHITECTURE)
    cmake_parse_arguments(assembly "" "NAME;VERSION;TOKEN" "" ${KIVVM_CRT_ASSEMBLY_${CRT}})
    execute_process(COMMAND ${STRINGS} ${DLL} OUTPUT_VARIABLE ascii COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCH "<assemblyIdentity [^>]*>" identity "${ascii}")
    foreach(attribute "type=\"win32\"" "name=\"${assembly_NAME}\"" "version=\"${assembly_VERSION}\""
                      "processorArchitecture=\"${architecture}\"" "publicKeyToken=\"${assembly_TOKEN}\"")
        string(FIND "${identity}" "${attribute}" at)
        if(at EQUAL -1)
            message(SEND_ERROR "the manifest's assembly identity lacks ${attribute}: ${identity}")
        endif()
    endforeach()
elseif(resources MATCHES "Type: MANIFEST")
    message(SEND_ERROR "a DLL on ${CRT} needs no side-by-side manifest")
endif()

message(STATUS "${name} (${CRT}): imports ${imported}; ${size} bytes stripped; VERSIONINFO ${VERSION}")
