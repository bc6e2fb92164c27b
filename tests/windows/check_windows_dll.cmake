# SPDX-License-Identifier: MIT
# The Windows DLL as a drop-in for its hosts:
#   - it imports from KERNEL32.dll and its C runtime only, and carries no C++
#     runtime, thread library or exception machinery of its own;
#   - stripped, resources included, it is at most 48 KiB;
#   - it carries a VERSIONINFO with the library's version and file name, and
#     a DLL built for msvcr80 the manifest (RT_MANIFEST, id 2) that binds it
#     to the VC80 runtime's side-by-side assembly;
#   - the Visual C++ import library holds the interface in the short import
#     format.
# cmake -DREADOBJ=<llvm-readobj> -DNM=<nm> -DSTRIP=<strip> -DDLL=<.dll> -DCRT=<runtime>
#       -DMSVC_IMPORT_LIBRARY=<.lib> -DDEF=<.def> -DVERSION=<x.y.z> -DWORK=<dir>
#       -P check_windows_dll.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/read-def.cmake)

set(failures "")
macro(fail text)
    string(APPEND failures "\n  ${text}")
endmacro()

function(run out)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "check_windows_dll: failed: ${ARGN}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

# The text of a resource's data as llvm-readobj dumps it in hex, keeping the
# printable ASCII characters (so UTF-16 text reads as plain text).
function(resource_text listing type out)
    string(REGEX MATCH "Type: ${type} .*" rest "${listing}")
    string(REGEX MATCH "Data \\(\n(([ \t]*[0-9A-F]+: [^\n]*\n)+)" _ "${rest}")
    string(REGEX MATCHALL "[0-9A-F]+: ([0-9A-F ]+)  \\|" rows "${CMAKE_MATCH_1}")
    set(text "")
    foreach(row IN LISTS rows)
        string(REGEX REPLACE "^[0-9A-F]+: |  \\|$| " "" hex "${row}")
        string(REGEX MATCHALL ".." bytes "${hex}")
        foreach(byte IN LISTS bytes)
            math(EXPR code "0x${byte}")
            if(code GREATER_EQUAL 32 AND code LESS 127)
                string(ASCII ${code} char)
                string(APPEND text "${char}")
            elseif(code EQUAL 10)
                string(APPEND text " ")
            endif()
        endforeach()
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Imports.
if(CRT STREQUAL "ucrt")
    set(runtime "^(ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
else()
    set(runtime "^${CRT}\\.dll$")
endif()
run(imports ${READOBJ} --coff-imports ${DLL})
string(REGEX MATCHALL "Name: [^\n]+\\.dll" imported "${imports}")
list(TRANSFORM imported REPLACE "^Name: " "")
list(TRANSFORM imported TOLOWER)
if(NOT "kernel32.dll" IN_LIST imported)
    fail("does not import KERNEL32.dll")
endif()
foreach(dll IN LISTS imported)
    if(NOT dll STREQUAL "kernel32.dll" AND NOT dll MATCHES "${runtime}")
        fail("imports ${dll}, which is neither KERNEL32.dll nor the ${CRT} runtime")
    endif()
endforeach()
run(symbols ${NM} ${DLL})
string(REGEX MATCHALL "[^\n ]*(pthread|__gxx_personality|_Unwind_|__cxa_)[^\n ]*" runtime_symbols "${symbols}")
if(runtime_symbols)
    list(REMOVE_DUPLICATES runtime_symbols)
    fail("carries C++ runtime or thread library code: ${runtime_symbols}")
endif()

# Size.
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${DLL} NAME)
run(_ ${STRIP} -o ${WORK}/${name} ${DLL})
file(SIZE ${WORK}/${name} size)
if(size GREATER 49152)
    fail("stripped it has ${size} bytes, more than 48 KiB")
endif()

# Resources.
run(resources ${READOBJ} --coff-resources ${DLL})
resource_text("${resources}" VERSIONINFO version_info)
foreach(value "FileVersion${VERSION}" "ProductVersion${VERSION}"
              "OriginalFilenamekivvariantmanager.dll" "FileDescription")
    string(FIND "${version_info}" "${value}" at)
    if(at EQUAL -1)
        fail("VERSIONINFO lacks ${value}: ${version_info}")
    endif()
endforeach()
if(CRT STREQUAL "msvcr80")
    if(NOT resources MATCHES "Type: MANIFEST \\(ID 24\\) \\[[ \n]*Table Offset: [^\n]*\n[^\n]*\n[^\n]*\n *Name: \\(ID 2\\)")
        fail("no manifest resource with id 2")
    endif()
    run(header ${READOBJ} --file-headers ${DLL})
    if(header MATCHES "Machine: IMAGE_FILE_MACHINE_AMD64")
        set(architecture amd64)
    else()
        set(architecture x86)
    endif()
    resource_text("${resources}" MANIFEST manifest)
    string(REGEX MATCH "<assemblyIdentity [^>]*>" identity "${manifest}")
    foreach(attribute "type=\"win32\"" "name=\"Microsoft.VC80.CRT\"" "version=\"8.0.50727.762\""
                      "processorArchitecture=\"${architecture}\"" "publicKeyToken=\"1fc8b3b9a1e18e3b\"")
        string(FIND "${identity}" "${attribute}" at)
        if(at EQUAL -1)
            fail("the manifest's assembly identity lacks ${attribute}: ${identity}")
        endif()
    endforeach()
elseif(resources MATCHES "Type: MANIFEST")
    fail("a DLL on ${CRT} needs no side-by-side manifest")
endif()

# The Visual C++ import library: one short import member per export, which
# makes the host look the function up by its plain name (a 32-bit C name
# loses its leading underscore: name type "noprefix").
run(members ${READOBJ} ${MSVC_IMPORT_LIBRARY})
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
        fail("${MSVC_IMPORT_LIBRARY}: ${entry}")
    endif()
    list(APPEND imported_names ${symbol})
endforeach()
kivvm_read_def(${DEF} expected)
kivvm_compare_names(problem "the short imports of ${MSVC_IMPORT_LIBRARY}" imported_names expected)
if(problem)
    fail("${problem}")
endif()

if(failures)
    message(FATAL_ERROR "${DLL}:${failures}")
endif()
message(STATUS "${name} (${CRT}): imports ${imported}; ${size} bytes stripped; "
               "VERSIONINFO ${VERSION}; ${MSVC_IMPORT_LIBRARY} holds the interface")
