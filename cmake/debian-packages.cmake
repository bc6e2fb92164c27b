# SPDX-License-Identifier: MIT
# The Debian packages, made by the target "packages" with Debian's own tools,
# as a Debian source package's build makes them: each package's component is
# installed, stripped, into BUILD_DIR/debian/<package>; dpkg-shlibdeps finds
# what its ELF files need, dpkg-gencontrol writes its control file from
# BUILD_DIR/debian/control and debian/changelog, and dpkg-deb builds it into
# BUILD_DIR/<package>_<version>_<architecture>.deb.
#   cmake -DBUILD_DIR=<build> -DVERSION=<x.y.z> -DRELEASE_EPOCH=<seconds>
#         -DPACKAGES=<package>=<component>,... -P debian-packages.cmake
# Every path in a package has the time of the release (see
# kivvm_package_epoch), owner root and the permissions the install rules
# give, and dpkg-deb writes its entries in name order: the same bytes from
# every build of the same sources.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/stage.cmake)

foreach(tool dpkg-deb dpkg-gencontrol dpkg-shlibdeps)
    find_program(${tool} ${tool})
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} is not installed (Debian package dpkg-dev)")
    endif()
endforeach()

set(debian ${BUILD_DIR}/debian)
file(READ ${debian}/changelog changelog)
if(changelog STREQUAL "")
    message(FATAL_ERROR "no Debian changelog: CHANGELOG.md has no entry for ${VERSION}")
endif()
kivvm_package_epoch(epoch)
file(REMOVE ${debian}/files)

# A package's run-time dependencies come from its ELF files.
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

string(REPLACE "," ";" PACKAGES "${PACKAGES}")
foreach(pair IN LISTS PACKAGES)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 package)
    list(GET pair 1 component)
    set(root ${debian}/${package})
    set(ENV{DESTDIR} ${root})
    kivvm_stage(${root} ${epoch} ${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${component} --strip)
    unset(ENV{DESTDIR})

    # The control files: the package's own (shlibs, symbols, triggers), the
    # checksums of its files, and the control file.
    file(MAKE_DIRECTORY ${root}/DEBIAN)
    foreach(kind shlibs symbols triggers)
        if(EXISTS ${debian}/${package}.${kind})
            file(COPY_FILE ${debian}/${package}.${kind} ${root}/DEBIAN/${kind})
        endif()
    endforeach()
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

    elf_files(elf ${root})
    file(WRITE ${debian}/${package}.substvars "")
    if(elf)
        execute_process(COMMAND ${dpkg-shlibdeps} -T${debian}/${package}.substvars ${elf}
            WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "dpkg-shlibdeps failed for ${package}")
        endif()
    endif()
    execute_process(COMMAND ${dpkg-gencontrol} -p${package} -P${root} -T${debian}/${package}.substvars
            -c${debian}/control -l${debian}/changelog -f${debian}/files
        WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dpkg-gencontrol failed for ${package}")
    endif()

    file(GLOB control_files ${root}/DEBIAN/*)
    file(CHMOD ${root}/DEBIAN PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
        GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    file(CHMOD ${control_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    kivvm_touch(${epoch} ${root} ${root}/DEBIAN ${control_files})

    file(STRINGS ${root}/DEBIAN/control architecture REGEX "^Architecture: ")
    string(REGEX REPLACE "^Architecture: " "" architecture "${architecture}")
    set(deb ${BUILD_DIR}/${package}_${VERSION}_${architecture}.deb)
    execute_process(COMMAND ${dpkg-deb} --root-owner-group --build ${root} ${deb}
        OUTPUT_QUIET RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dpkg-deb failed for ${package}")
    endif()
    message(STATUS "wrote ${deb}")
endforeach()
