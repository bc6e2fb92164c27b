# SPDX-License-Identifier: MIT
# Installing the library and describing it to its consumers: the CMake
# package, pkg-config, and through CPack a Debian package or a Windows zip.
include(CMakePackageConfigHelpers)

set(KIVVM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivvariantmanager)

install(TARGETS kivvariantmanager EXPORT kivvariantmanagerTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(TARGET kivvm)
    # kivvm finds the library beside it wherever the tree is installed; in a
    # system directory the dynamic linker finds it without help.
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

set(CPACK_PACKAGE_NAME kivvariantmanager)
set(CPACK_PACKAGE_VENDOR "kivvariantmanager maintainers")
set(CPACK_STRIP_FILES ON)

# Reproducible packages: the same bytes from the same commit.  Every time a
# package holds is SOURCE_DATE_EPOCH, the commit's date when it is not set
# (source-date-epoch.cmake, run first by the project config below); the
# staged files and the packages are made independent of the umask, time zone
# and directory order (reproducible.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/reproducible.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/reproducible.cmake)
set(KIVVM_PACKAGE_CONFIG "include(${PROJECT_SOURCE_DIR}/cmake/source-date-epoch.cmake)\n")

# The Windows package: one zip with everything above, named for its
# architecture and C runtime (kivvariantmanager-1.0.0-win32-msvcr80.zip).
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(architecture win64)
    else()
        set(architecture win32)
    endif()
    set(CPACK_PACKAGE_FILE_NAME
        ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${architecture}-${KIVVM_WINDOWS_CRT})
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
    set(CPACK_GENERATOR ZIP)
endif()

# The Debian packages, one per component, named as Debian names them:
# libkivvariantmanager1 (the shared library), libkivvariantmanager-dev
# (headers, the link, pkg-config and CMake files) and kivvm (the tool).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(KIVVM_DEB_runtime libkivvariantmanager1)
    set(KIVVM_DEB_development libkivvariantmanager-dev)
    set(KIVVM_DEB_kivvm kivvm)

    # Every package carries the copyright file and the changelog in its own
    # documentation directory; the changelog and the manual page are
    # compressed reproducibly.
    set(KIVVM_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
    set(KIVVM_MANPAGE ${PROJECT_BINARY_DIR}/kivvm.1.gz)
    # Both carry the version, which the build writes in.
    foreach(pair "debian/changelog;${KIVVM_CHANGELOG}" "kivvm.1;${KIVVM_MANPAGE}")
        list(GET pair 0 source)
        list(GET pair 1 compressed)
        configure_file(packaging/${source}.in ${PROJECT_BINARY_DIR}/packaging/${source} @ONLY)
        add_custom_command(OUTPUT ${compressed}
            COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/packaging/${source} > ${compressed}
            DEPENDS ${PROJECT_BINARY_DIR}/packaging/${source}
            VERBATIM)
    endforeach()
    add_custom_target(kivvm_compressed_docs ALL DEPENDS ${KIVVM_CHANGELOG} ${KIVVM_MANPAGE})
    set(components runtime development)
    if(TARGET kivvm)
        list(APPEND components kivvm)
        install(FILES ${KIVVM_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kivvm)
    endif()
    foreach(component IN LISTS components)
        install(FILES packaging/debian/copyright ${KIVVM_CHANGELOG}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KIVVM_DEB_${component}}
            COMPONENT ${component})
    endforeach()

    # The library's control files: the symbols of the one export list, and
    # ldconfig through its trigger.
    string(CONCAT symbols "libkivvariantmanager.so.${PROJECT_VERSION_MAJOR} ${KIVVM_DEB_runtime} #MINVER#\n"
                          "* Build-Depends-Package: ${KIVVM_DEB_development}\n")
    foreach(name IN LISTS KIVVM_EXPORTS)
        string(APPEND symbols " ${name}@Base ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0\n")
    endforeach()
    file(WRITE ${PROJECT_BINARY_DIR}/debian/symbols "${symbols}")
    file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs
        "libkivvariantmanager ${PROJECT_VERSION_MAJOR} ${KIVVM_DEB_runtime} (>= ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0)\n")

    # The run-time dependencies of the library and of kivvm, from
    # dpkg-shlibdeps when cpack runs.  CPack's own dependency scan would also
    # add maintainer scripts that call ldconfig, which the trigger does.
    set(dependencies "kivvm_shlibdeps(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS \"$<TARGET_FILE:kivvariantmanager>\" \"\")\n")
    if(TARGET kivvm)
        string(APPEND dependencies
            "kivvm_shlibdeps(CPACK_DEBIAN_KIVVM_PACKAGE_DEPENDS \"$<TARGET_FILE:kivvm>\" \"$<TARGET_FILE_DIR:kivvariantmanager>\")\n"
            "string(PREPEND CPACK_DEBIAN_KIVVM_PACKAGE_DEPENDS \"${KIVVM_DEB_runtime} (= ${PROJECT_VERSION}), \")\n")
    endif()
    string(APPEND KIVVM_PACKAGE_CONFIG "
if(CPACK_GENERATOR STREQUAL \"DEB\")
    # Each package's synopsis is the first line of its own description:
    # no summary of the project's goes in front of it.
    unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
    include(${PROJECT_SOURCE_DIR}/cmake/shlibdeps.cmake)
    ${dependencies}endif()
")

    set(CPACK_PACKAGE_CONTACT "kivvariantmanager maintainers <maintainers@kivvariantmanager.invalid>")
    set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL ${components})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${KIVVM_DEB_runtime})
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
    # Each description's first line is its package's synopsis.
    set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "library telling a host which product variant it runs as
A small C library that a host application loads to learn which product
variant it runs as.  The host passes an identifying string; the library
selects a row of its compiled-in variant table and answers identity
queries, derived file and resource names, and setup paths from it.")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
        ${PROJECT_BINARY_DIR}/debian/shlibs ${PROJECT_BINARY_DIR}/debian/symbols
        ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)

    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${KIVVM_DEB_development})
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${KIVVM_DEB_runtime} (= ${PROJECT_VERSION})")
    set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "development files for libkivvariantmanager
The header that declares the library's C interface, the link to the
shared library, and its pkg-config and CMake package files.")

    set(CPACK_DEBIAN_KIVVM_PACKAGE_NAME ${KIVVM_DEB_kivvm})
    set(CPACK_DEBIAN_KIVVM_PACKAGE_SECTION utils)
    set(CPACK_COMPONENT_KIVVM_DESCRIPTION "show which product variant an identifying string selects
kivvm calls the kivvariantmanager library the way a host does and prints
every answer it gives for an identifying string, as text or JSON.  It also
lists the variant table it was built with, and which identities select
each row.")

    set(CPACK_GENERATOR DEB)
endif()

file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake CONTENT "${KIVVM_PACKAGE_CONFIG}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
if(WIN32 OR CMAKE_SYSTEM_NAME STREQUAL "Linux")
    include(CPack)
endif()
