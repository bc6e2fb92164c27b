# SPDX-License-Identifier: MIT
# What an install of kivvariantmanager holds, relative to its prefix; the
# Windows layout when WINDOWS is true, the Debian packages' when PACKAGED is
# (PACKAGES naming them).
function(kivvm_installed_files out libdir version)
    string(REGEX MATCH "^[0-9]+" major "${version}")
    set(files
        include/kivvariantmanager.h
        include/kivvariantmanager_version.h
        ${libdir}/pkgconfig/kivvariantmanager.pc
        ${libdir}/cmake/kivvariantmanager/kivvariantmanagerConfig.cmake
        ${libdir}/cmake/kivvariantmanager/kivvariantmanagerConfigVersion.cmake
        ${libdir}/cmake/kivvariantmanager/kivvariantmanagerTargets.cmake)
    if(WINDOWS)
        list(APPEND files bin/kivvm.exe bin/kivvm.pdb bin/kivvariantmanager.dll bin/kivvariantmanager.pdb
            ${libdir}/libkivvariantmanager.dll.a
            ${libdir}/kivvariantmanager.lib ${libdir}/kivvariantmanager.def)
    else()
        list(APPEND files
            bin/kivvm
            ${libdir}/libkivvariantmanager.so
            ${libdir}/libkivvariantmanager.so.${major}
            ${libdir}/libkivvariantmanager.so.${version})
        # Debian's tools compress the manual pages and add each package's
        # copyright and changelog.
        if(PACKAGED)
            list(APPEND files share/man/man1/kivvm.1.gz share/man/man3/kivvariantmanager.3.gz
                share/man/man3/KIVVMInit.3.gz)
            foreach(package IN LISTS PACKAGES)
                list(APPEND files share/doc/${package}/copyright share/doc/${package}/changelog.gz)
            endforeach()
        else()
            list(APPEND files share/man/man1/kivvm.1 share/man/man3/kivvariantmanager.3
                share/man/man3/KIVVMInit.3)
        endif()
    endif()
    set(${out} ${files} PARENT_SCOPE)
endfunction()

# Fails unless every expected file is under root/prefix.
function(kivvm_check_installed_files root libdir version)
    kivvm_installed_files(files "${libdir}" "${version}")
    foreach(file IN LISTS files)
        if(NOT EXISTS "${root}/${file}" AND NOT IS_SYMLINK "${root}/${file}")
            message(FATAL_ERROR "not installed: ${file} (under ${root})")
        endif()
    endforeach()
    list(LENGTH files n)
    message(STATUS "all ${n} expected files are under ${root}")
endfunction()
