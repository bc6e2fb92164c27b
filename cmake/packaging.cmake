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
    # kivvm finds the library beside it wherever the tree is installed.
    file(RELATIVE_PATH kivvm_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    if(APPLE)
        set_target_properties(kivvm PROPERTIES INSTALL_RPATH "@loader_path/${kivvm_bin_to_lib}")
    elseif(NOT WIN32)
        set_target_properties(kivvm PROPERTIES INSTALL_RPATH "$ORIGIN/${kivvm_bin_to_lib}")
    endif()
    install(TARGETS kivvm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

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
    set(CPACK_GENERATOR ZIP)
    include(CPack)
endif()

# The Debian package: everything above, in one package.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    install(FILES packaging/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kivvariantmanager
        COMPONENT runtime)
    # Debian wants the changelog and manual pages compressed, reproducibly.
    set(KIVVM_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
    set(KIVVM_MANPAGE ${PROJECT_BINARY_DIR}/kivvm.1.gz)
    foreach(pair "debian/changelog;${KIVVM_CHANGELOG}" "kivvm.1;${KIVVM_MANPAGE}")
        list(GET pair 0 source)
        list(GET pair 1 compressed)
        add_custom_command(OUTPUT ${compressed}
            COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${source} > ${compressed}
            DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source}
            VERBATIM)
    endforeach()
    add_custom_target(kivvm_compressed_docs ALL DEPENDS ${KIVVM_CHANGELOG} ${KIVVM_MANPAGE})
    install(FILES ${KIVVM_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kivvariantmanager
        COMPONENT runtime)
    if(TARGET kivvm)
        install(FILES ${KIVVM_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
    endif()

    set(CPACK_PACKAGE_CONTACT "kivvariantmanager maintainers <maintainers@kivvariantmanager.invalid>")
    set(CPACK_PACKAGE_DESCRIPTION
        "A small C library that a host application loads to learn which product\n variant it runs as, with its header, CMake and pkg-config files and the\n kivvm command that shows what the library answers.")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    # Shared libraries in a package make ldconfig run through its trigger.
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_GENERATOR DEB)
    include(CPack)
endif()
