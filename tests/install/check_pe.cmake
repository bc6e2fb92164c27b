# SPDX-License-Identifier: MIT
# kivvm_check_pe(<dir> <llvm-readobj> <llvm-symbolizer> <.def>): fails unless
# every .dll and .exe in dir
#   - is loaded at a random address (DYNAMIC_BASE, and HIGH_ENTROPY_VA on
#     64-bit) with data that cannot run (NX_COMPAT);
#   - has no section both writable and executable;
#   - names its PDB, which lies beside it, by file name alone;
# and unless the PDB of kivvariantmanager.dll gives each of its exports (the
# names of the .def) with its source file and line.
function(kivvm_check_pe dir readobj symbolizer def)
    set(failures "")
    file(GLOB binaries ${dir}/*.dll ${dir}/*.exe)
    if(NOT binaries)
        message(FATAL_ERROR "no Windows binaries in ${dir}")
    endif()
    foreach(binary IN LISTS binaries)
        get_filename_component(name ${binary} NAME)
        get_filename_component(base ${binary} NAME_WLE)
        execute_process(COMMAND ${readobj} --file-headers --sections --coff-debug-directory ${binary}
            OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "${readobj} cannot read ${binary}")
        endif()
        set(required DYNAMIC_BASE NX_COMPAT)
        if(headers MATCHES "Machine: IMAGE_FILE_MACHINE_AMD64")
            list(APPEND required HIGH_ENTROPY_VA)
        endif()
        foreach(flag IN LISTS required)
            if(NOT headers MATCHES "IMAGE_DLL_CHARACTERISTICS_${flag} ")
                string(APPEND failures "\n  ${name}: not ${flag}")
            endif()
        endforeach()
        string(REGEX MATCHALL "Section {[^}]*}" sections "${headers}")
        foreach(section IN LISTS sections)
            if(section MATCHES "MEM_WRITE" AND section MATCHES "MEM_EXECUTE")
                string(REGEX MATCH "Name: ([^ \n]+)" _ "${section}")
                string(APPEND failures "\n  ${name}: section ${CMAKE_MATCH_1} is writable and executable")
            endif()
        endforeach()
        string(REGEX MATCH "PDBFileName: ([^\n]*)" _ "${headers}")
        if(NOT CMAKE_MATCH_1 STREQUAL "${base}.pdb")
            string(APPEND failures "\n  ${name}: names its PDB as \"${CMAKE_MATCH_1}\", not ${base}.pdb")
        elseif(NOT EXISTS ${dir}/${base}.pdb)
            string(APPEND failures "\n  ${name}: no ${base}.pdb beside it")
        endif()
    endforeach()

    # Each export, by its address, through the PDB: the outermost frame the
    # symbolizer gives must be the export, in one of the library's sources.
    set(dll ${dir}/kivvariantmanager.dll)
    execute_process(COMMAND ${readobj} --coff-exports ${dll} OUTPUT_VARIABLE exports)
    string(REGEX MATCHALL "Name: [A-Za-z]+\n *RVA: 0x[0-9A-Fa-f]+" exports "${exports}")
    include(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../cmake/read-def.cmake)
    kivvm_read_def(${def} expected)
    foreach(name IN LISTS expected)
        string(REGEX MATCH "Name: ${name}\n *RVA: (0x[0-9A-Fa-f]+)" _ "${exports}")
        execute_process(COMMAND ${symbolizer} --obj=${dll} --relative-address ${CMAKE_MATCH_1}
            WORKING_DIRECTORY ${dir} OUTPUT_VARIABLE frames)
        if(NOT frames MATCHES "(^|\n)${name}\n[^\n]*[\\/]dll[\\/]kivvariantmanager[\\/]src[\\/][a-z_]+\\.cpp:[1-9][0-9]*:[0-9]+\n+$")
            string(APPEND failures "\n  kivvariantmanager.pdb: no source line for ${name}: ${frames}")
        endif()
    endforeach()

    if(failures)
        message(FATAL_ERROR "${dir}:${failures}")
    endif()
    list(LENGTH binaries n)
    message(STATUS "${n} binaries with ASLR, NX and their PDBs; every export found with its source line")
endfunction()
