# SPDX-License-Identifier: MIT
# Installing the library and describing it to its consumers: the CMake
# package and pkg-config; and the target "packages", which makes the Debian
# packages on Linux and the zip on Windows from what is installed.
include(CMakePackageConfigHelpers)

set(KIVVM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivvariantmanager)

install(TARGETS kivvariantmanager EXPORT kivvariantmanagerTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(TARGET kivvm)
    # kivvm finds the library in the installed tree's library directory
    # (\$ORIGIN/../lib), wherever the tree is; in a system directory the
    # dynamic linker finds it without help.
    file(RELATIVE_PATH kivvm_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
        # no search path of its own
    elseif(APPLE)
        set_target_properties(kivvm PROPERTIES INSTALL_RPATH "@loader_path/${kivvm_bin_to_lib}")
    elseif(NOT WIN32)
        set_target_properties(kivvm PROPERTIES INSTALL_RPATH "$ORIGIN/${kivvm_bin_to_lib}")
    endif()
    install(TARGETS kivvm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kivvm)
endif()

if(WIN32)
    # For Visual C++ hosts: their import library, and the list it was made from.
    install(FILES ${KIVVM_MSVC_IMPORT_LIBRARY} ${KIVVM_DEF_FILE}
        DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT development)
    # Each binary's PDB beside it, for Visual Studio and WinDbg.
    install(FILES $<PATH:REPLACE_EXTENSION,$<TARGET_FILE:kivvariantmanager>,.pdb>
        DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    if(TARGET kivvm)
        install(FILES $<PATH:REPLACE_EXTENSION,$<TARGET_FILE:kivvm>,.pdb>
            DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kivvm)
    endif()
endif()

# The CMake package: find_package(kivvariantmanager 1) gives the target
# kivvariantmanager::kivvariantmanager, from an install or from this build tree.
install(EXPORT kivvariantmanagerTargets
    NAMESPACE kivvariantmanager::
    DESTINATION ${KIVVM_CMAKE_DIR}
    COMPONENT development)
export(EXPORT kivvariantmanagerTargets
    NAMESPACE kivvariantmanager::
    FILE ${PROJECT_BINARY_DIR}/kivvariantmanagerTargets.cmake)
configure_package_config_file(cmake/kivvariantmanagerConfig.cmake.in
    ${PROJECT_BINARY_DIR}/kivvariantmanagerConfig.cmake
    INSTALL_DESTINATION ${KIVVM_CMAKE_DIR})
# One major version is one ABI: a host built against 1.x runs with any 1.y.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kivvariantmanagerConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/kivvariantmanagerConfig.cmake
    ${PROJECT_BINARY_DIR}/kivvariantmanagerConfigVersion.cmake
    DESTINATION ${KIVVM_CMAKE_DIR}
    COMPONENT development)

# pkg-config.  The file names the prefix it is installed under, written when
# it is installed (cmake --install --prefix, or a package's /usr), so that
# its flags name the real directories and pkg-config drops the system ones.
# On Windows pkg-config finds the prefix from the file's own place instead.
if(WIN32)
    file(RELATIVE_PATH pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
    set(KIVVM_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
else()
    set(KIVVM_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")  # left for install time
endif()
file(RELATIVE_PATH KIVVM_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH KIVVM_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(cmake/kivvariantmanager.pc.in ${PROJECT_BINARY_DIR}/kivvariantmanager.pc.in @ONLY)
install(CODE "configure_file(\"${PROJECT_BINARY_DIR}/kivvariantmanager.pc.in\"
                              \"${PROJECT_BINARY_DIR}/kivvariantmanager.pc\" @ONLY)"
    COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/kivvariantmanager.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)

# Writes content to file, as it is, unless the file holds it already: what is
# made from the file is then not made again.
function(kivvm_write file content)
    if(EXISTS ${file})
        file(READ ${file} old)
        if(old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE ${file} "${content}")
endfunction()

# ---- Release facts -----------------------------------------------------------

# The date of this version's release, from its entry in CHANGELOG.md: the
# Debian changelog and the manual page carry it, and every packaged file has
# it as its time unless SOURCE_DATE_EPOCH says otherwise.
include(${PROJECT_SOURCE_DIR}/cmake/changelog.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian/control.in)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/control.in maintainer REGEX "^Maintainer: ")
string(REGEX REPLACE "^Maintainer: " "" KIVVM_MAINTAINER "${maintainer}")
kivvm_read_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_VERSION} KIVVM_RELEASE
    DEBIAN ${PROJECT_NAME} "${KIVVM_MAINTAINER}")
if(NOT KIVVM_RELEASE_DATE)
    # The build goes on; the release test fails, and so do the packages
    # unless SOURCE_DATE_EPOCH is set.
    message(WARNING "CHANGELOG.md has no entry for ${PROJECT_VERSION}")
endif()

# ---- Packages -----------------------------------------------------------------

# "packages" stages what the install rules install and archives it:
# everything it makes depends only on the sources, never on the time, the
# umask or the directory of the build.
set(package_arguments -DBUILD_DIR=${PROJECT_BINARY_DIR} -DVERSION=${PROJECT_VERSION}
    -DRELEASE_EPOCH=${KIVVM_RELEASE_EPOCH})

if(WIN32)
    # One zip with everything installed, named for its architecture and C
    # runtime: kivvariantmanager-1.0.0-win32-msvcr80.zip.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(architecture win64)
    else()
        set(architecture win32)
    endif()
    set(KIVVM_ZIP_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${architecture}-${KIVVM_WINDOWS_CRT})
    list(APPEND package_arguments -DNAME=${KIVVM_ZIP_NAME} -P ${PROJECT_SOURCE_DIR}/cmake/windows-zip.cmake)
    set(package_inputs kivvariantmanager_msvc_import_library)
endif()

# The Debian packages, one per component, named as Debian names them:
# libkivvariantmanager1 (the shared library), libkivvariantmanager-dev
# (headers, the link, pkg-config and CMake files) and kivvm (the tool); their
# fields are in packaging/debian/control.in.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(KIVVM_DEB_runtime libkivvariantmanager${PROJECT_VERSION_MAJOR})
    set(KIVVM_DEB_development libkivvariantmanager-dev)
    set(KIVVM_DEB_kivvm kivvm)
    set(debian ${PROJECT_BINARY_DIR}/debian)
    configure_file(packaging/debian/control.in ${debian}/control @ONLY)
    kivvm_write(${debian}/changelog "${KIVVM_RELEASE_DEBIAN}")

    # Every package carries the copyright file and the changelog in its own
    # documentation directory; the changelog and the manual page are
    # compressed reproducibly.
    set(KIVVM_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
    set(KIVVM_MANPAGE ${PROJECT_BINARY_DIR}/kivvm.1.gz)
    configure_file(packaging/kivvm.1.in ${PROJECT_BINARY_DIR}/packaging/kivvm.1 @ONLY)
    foreach(pair "${debian}/changelog;${KIVVM_CHANGELOG}" "${PROJECT_BINARY_DIR}/packaging/kivvm.1;${KIVVM_MANPAGE}")
        list(GET pair 0 source)
        list(GET pair 1 compressed)
        add_custom_command(OUTPUT ${compressed}
            COMMAND gzip -9nc ${source} > ${compressed}
            DEPENDS ${source}
            VERBATIM)
    endforeach()

    # The library's manual page, made from the public header's comments, and
    # a link to it under the name of each function, so that man 3 finds it
    # by any of them.
    set(man3 ${PROJECT_BINARY_DIR}/man3)
    set(KIVVM_LIBRARY_MANPAGE ${man3}/kivvariantmanager.3.gz)
    get_target_property(public_headers kivvariantmanager PUBLIC_HEADER)
    list(GET public_headers 0 public_header)
    add_custom_command(OUTPUT ${KIVVM_LIBRARY_MANPAGE}
        COMMAND ${CMAKE_COMMAND} -DHEADER=${public_header} -DOUTPUT=${man3}/kivvariantmanager.3
                -DDATE=${KIVVM_RELEASE_DATE} -DVERSION=${PROJECT_VERSION}
                -P ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
        COMMAND gzip -9nf ${man3}/kivvariantmanager.3
        DEPENDS ${public_header} ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
        COMMENT "The library's manual page"
        VERBATIM)
    set(man3_links "")
    file(MAKE_DIRECTORY ${man3})
    foreach(name IN LISTS KIVVM_EXPORTS)
        file(CREATE_LINK kivvariantmanager.3.gz ${man3}/${name}.3.gz SYMBOLIC)
        list(APPEND man3_links ${man3}/${name}.3.gz)
    endforeach()
    install(FILES ${KIVVM_LIBRARY_MANPAGE} ${man3_links} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
        COMPONENT development)
    add_custom_target(kivvm_compressed_docs ALL DEPENDS ${KIVVM_CHANGELOG} ${KIVVM_MANPAGE} ${KIVVM_LIBRARY_MANPAGE})
    set(components runtime development)
    if(TARGET kivvm)
        list(APPEND components kivvm)
        install(FILES ${KIVVM_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kivvm)
    endif()
    foreach(component IN LISTS components)
        install(FILES packaging/debian/copyright ${KIVVM_CHANGELOG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KIVVM_DEB_${component}}
            COMPONENT ${component})
        list(APPEND packages ${KIVVM_DEB_${component}}=${component})
    endforeach()

    # The library's control files: the symbols of the one export list, and
    # ldconfig through its trigger.
    string(CONCAT symbols "libkivvariantmanager.so.${PROJECT_VERSION_MAJOR} ${KIVVM_DEB_runtime} #MINVER#\n"
                          "* Build-Depends-Package: ${KIVVM_DEB_development}\n")
    foreach(name IN LISTS KIVVM_EXPORTS)
        string(APPEND symbols " ${name}@Base ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0\n")
    endforeach()
    kivvm_write(${debian}/${KIVVM_DEB_runtime}.symbols "${symbols}")
    kivvm_write(${debian}/${KIVVM_DEB_runtime}.shlibs
        "libkivvariantmanager ${PROJECT_VERSION_MAJOR} ${KIVVM_DEB_runtime} (>= ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0)\n")
    configure_file(packaging/debian/triggers ${debian}/${KIVVM_DEB_runtime}.triggers COPYONLY)

    list(JOIN packages "," packages)
    list(APPEND package_arguments -DPACKAGES=${packages} -P ${PROJECT_SOURCE_DIR}/cmake/debian-packages.cmake)
    set(package_inputs kivvm_compressed_docs)
endif()

if(package_inputs)
    add_custom_target(packages COMMAND ${CMAKE_COMMAND} ${package_arguments} COMMENT "Packages" VERBATIM)
    add_dependencies(packages kivvariantmanager ${package_inputs})
    if(TARGET kivvm)
        add_dependencies(packages kivvm)
    endif()
endif()
