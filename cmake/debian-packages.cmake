# SPDX-License-Identifier: MIT
# The Debian packages, made by the target "packages" with Debian's own tools,
# as a Debian source package's build makes them: each package's component is
# installed into BUILD_DIR/debian/<package>; its ELF files are stripped and
# their debug information goes to <package>-dbgsym, found through their build
# ids; dpkg-shlibdeps finds what the ELF files need, dpkg-gencontrol writes
# each control file from BUILD_DIR/debian/control and debian/changelog, and
# dpkg-deb builds BUILD_DIR/<package>_<version>_<architecture>.deb.
#   cmake -DBUILD_DIR=<build> -DVERSION=<x.y.z> -DRELEASE_EPOCH=<seconds>
#         -DPACKAGES=<package>=<component>,... -P debian-packages.cmake
# Every path in a package has the time of the release (see
# kivvm_package_epoch), owner root and the permissions the install rules
# give, and dpkg-deb writes its entries in name order: the same bytes from
# every build of the same sources.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/stage.cmake)

foreach(tool dpkg-deb dpkg-gencontrol dpkg-shlibdeps readelf objcopy strip)
    find_program(${tool} ${tool})
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} is not installed (Debian packages dpkg-dev and binutils)")
    endif()
endforeach()

set(debian ${BUILD_DIR}/debian)
file(READ ${debian}/changelog changelog)
if(changelog STREQUAL "")
    message(FATAL_ERROR "no Debian changelog: CHANGELOG.md has no entry for ${VERSION}")
endif()
kivvm_package_epoch(epoch)
file(REMOVE ${debian}/files)

# The ELF files under root.
function(elf_files out root)
    file(GLOB_RECURSE files ${root}/*)
    set(elf "")
    foreach(file IN LISTS files)
        if(NOT IS_SYMLINK ${file})
            file(READ ${file} magic LIMIT 4 HEX)
            if(magic STREQUAL "7f454c46")
                list(APPEND elf ${file})
            endif()
        endif()
    endforeach()
    set(${out} ${elf} PARENT_SCOPE)
endfunction()

# Moves the debug information of each ELF file to its build id's file under
# debug_root/usr/lib/debug/.build-id and strips the file as dh_strip does,
# linking it to that file; sets out to the build ids.
function(split_debug_information out debug_root)
    set(build_ids "")
    foreach(elf IN LISTS ARGN)
        execute_process(COMMAND ${readelf} -nW ${elf} OUTPUT_VARIABLE notes)
        if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
            message(FATAL_ERROR "${elf} has no build id")
        endif()
        list(APPEND build_ids ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
        set(debug_file ${debug_root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
        get_filename_component(directory ${debug_file} DIRECTORY)
        file(MAKE_DIRECTORY ${directory})
        if(elf MATCHES "\\.so(\\.[0-9]+)*$")
            set(strip_options --strip-unneeded)
        else()
            set(strip_options "")
        endif()
        foreach(command
                "${objcopy};--only-keep-debug;--compress-debug-sections;${elf};${debug_file}"
                "${strip};--remove-section=.comment;--remove-section=.note;${strip_options};${elf}"
                "${objcopy};--add-gnu-debuglink=${debug_file};${elf}")
            execute_process(COMMAND ${command} RESULT_VARIABLE rc)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR "cannot split the debug information of ${elf}: ${command}")
            endif()
        endforeach()
        file(CHMOD ${debug_file} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endforeach()
    set(${out} ${build_ids} PARENT_SCOPE)
endfunction()

# Writes the control files of the package staged in root (those in
# DEBIAN already, the checksums of its files, and the control file from
# dpkg-gencontrol with the options given) and builds it.
function(build_package root)
    file(MAKE_DIRECTORY ${root}/DEBIAN)
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
    list(SORT files)
    set(md5sums "")
    foreach(file IN LISTS files)
        if(NOT IS_SYMLINK ${root}/${file} AND NOT file MATCHES "^DEBIAN/")
            file(MD5 ${root}/${file} md5)
            string(APPEND md5sums "${md5}  ${file}\n")
        endif()
    endforeach()
    file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")
    execute_process(COMMAND ${dpkg-gencontrol} -P${root} -c${debian}/control -l${debian}/changelog
            -f${debian}/files ${ARGN}
        WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dpkg-gencontrol failed for ${root}")
    endif()

    file(GLOB control_files ${root}/DEBIAN/*)
    file(CHMOD ${control_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    kivvm_normalize(${root} ${epoch})

    file(STRINGS ${root}/DEBIAN/control fields REGEX "^(Package|Architecture): ")
    string(REGEX REPLACE "Package: ([^;]+);Architecture: (.+)" "\\1_${VERSION}_\\2.deb" name "${fields}")
    execute_process(COMMAND ${dpkg-deb} --root-owner-group --build ${root} ${BUILD_DIR}/${name}
        OUTPUT_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dpkg-deb failed for ${root}")
    endif()
    message(STATUS "wrote ${BUILD_DIR}/${name}")
endfunction()

string(REPLACE "," ";" PACKAGES "${PACKAGES}")
foreach(pair IN LISTS PACKAGES)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 package)
    list(GET pair 1 component)
    set(root ${debian}/${package})
    set(debug_root ${debian}/${package}-dbgsym)
    file(REMOVE_RECURSE ${debug_root})
    kivvm_stage(${root} ${CMAKE_COMMAND} -E env DESTDIR=${root}
        ${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${component})
    file(MAKE_DIRECTORY ${root}/DEBIAN)
    foreach(kind shlibs symbols triggers)
        if(EXISTS ${debian}/${package}.${kind})
            file(COPY_FILE ${debian}/${package}.${kind} ${root}/DEBIAN/${kind})
        endif()
    endforeach()

    elf_files(elf ${root})
    file(WRITE ${debian}/${package}.substvars "")
    if(elf)
        execute_process(COMMAND ${dpkg-shlibdeps} -T${debian}/${package}.substvars ${elf}
            WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "dpkg-shlibdeps failed for ${package}")
        endif()
        split_debug_information(build_ids ${debug_root} ${elf})
    endif()
    build_package(${root} -p${package} -T${debian}/${package}.substvars)

    # The debug symbols package, named and described as Debian's own tools
    # make it: it depends on exactly this package, and shares its
    # documentation directory.
    if(elf)
        file(MAKE_DIRECTORY ${debug_root}/usr/share/doc)
        file(CREATE_LINK ${package} ${debug_root}/usr/share/doc/${package}-dbgsym SYMBOLIC)
        file(STRINGS ${root}/DEBIAN/control multiarch REGEX "^Multi-Arch: same$")
        if(NOT multiarch)
            set(multiarch -UMulti-Arch)
        else()
            set(multiarch "")
        endif()
        list(JOIN build_ids " " build_ids)
        build_package(${debug_root} -p${package} -T${debian}/${package}.substvars
            -DPackage=${package}-dbgsym "-DDepends=${package} (= \${binary:Version})" -DSection=debug
            -DPriority=optional -DAuto-Built-Package=debug-symbols "-DBuild-Ids=${build_ids}"
            "-DDescription=debug symbols for ${package}" ${multiarch})
    endif()
endforeach()
