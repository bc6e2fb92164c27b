# SPDX-License-Identifier: MIT
# Installing the library and describing it to its consumers: the CMake
# package, pkg-config and the manual pages; and on Windows the target
# "packages", which makes the zip of what is installed.  (Debian's tools
# make the Debian packages from the same install rules: see debian/.)
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

# ---- Release facts and manual pages ------------------------------------------

# The date of this version's release, from its entry in CHANGELOG.md
# ("## <version> - <YYYY-MM-DD>"): the manual pages carry it, and the files
# in the Windows zips have it as their time unless SOURCE_DATE_EPOCH says
# otherwise.  (Debian's tools take theirs from debian/changelog.)
kivvm_release_date(KIVVM_RELEASE_DATE ${PROJECT_VERSION})
if(NOT KIVVM_RELEASE_DATE)
    # The build goes on; the release test fails, and so does the zip unless
    # SOURCE_DATE_EPOCH is set.
    message(WARNING "CHANGELOG.md has no entry for ${PROJECT_VERSION}")
endif()

if(NOT WIN32)
    # kivvm(1), and the library's page with a link to it under the name of
    # each function, so that man 3 finds it by any of them.
    set(man3 ${PROJECT_BINARY_DIR}/man3)
    configure_file(packaging/kivvm.1.in ${PROJECT_BINARY_DIR}/man1/kivvm.1 @ONLY)
    configure_file(packaging/kivvariantmanager.3.in ${man3}/kivvariantmanager.3 @ONLY)
    set(man3_links "")
    foreach(name IN LISTS KIVVM_EXPORTS)
        file(CREATE_LINK kivvariantmanager.3 ${man3}/${name}.3 SYMBOLIC)
        list(APPEND man3_links ${man3}/${name}.3)
    endforeach()
    install(FILES ${man3}/kivvariantmanager.3 ${man3_links} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
        COMPONENT development)
    if(TARGET kivvm)
        install(FILES ${PROJECT_BINARY_DIR}/man1/kivvm.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kivvm)
    endif()
endif()

# ---- The Windows zips ---------------------------------------------------------

# "packages" makes with CPack the zip of what the install rules install,
# stripped, named for its architecture and C runtime
# (kivvariantmanager-1.0.0-win32-msvcr80.zip), and the test kit's beside it
# (tests/install/).  CPack writes the members in the order, and with the
# times and modes, of the files it staged; strip-nondeterminism, which
# debhelper runs on every Debian package, then gives them their names'
# order, one time (SOURCE_DATE_EPOCH, else the release's date) and the
# modes their run bits say: the same bytes from the same sources.
if(WIN32)
    kivvm_windows_zip_name(KIVVM_ZIP_NAME ${KIVVM_WINDOWS_ARCH} ${KIVVM_WINDOWS_CRT})
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${KIVVM_ZIP_NAME})
    set(CPACK_PACKAGE_DESCRIPTION "${PROJECT_DESCRIPTION}")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
    include(CPack)
    find_program(KIVVM_STRIP_NONDETERMINISM strip-nondeterminism REQUIRED)
    set(KIVVM_ZIP_TIME $ENV{SOURCE_DATE_EPOCH})
    if(NOT KIVVM_ZIP_TIME AND KIVVM_RELEASE_DATE)
        execute_process(COMMAND date -u -d "${KIVVM_RELEASE_DATE} 00:00" +%s OUTPUT_VARIABLE KIVVM_ZIP_TIME
            OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    endif()
    # kivvm_zip(<target> <name> <component>): a target that makes <name>.zip
    # of what the install rules install (ALL) or of one component of them.
    function(kivvm_zip target name component)
        add_custom_target(${target}
            COMMAND ${CMAKE_CPACK_COMMAND} --config CPackConfig.cmake -D CPACK_PACKAGE_FILE_NAME=${name}
                -D "CPACK_INSTALL_CMAKE_PROJECTS=${PROJECT_BINARY_DIR}$<SEMICOLON>${PROJECT_NAME}$<SEMICOLON>${component}$<SEMICOLON>/"
            COMMAND ${KIVVM_STRIP_NONDETERMINISM} --timestamp ${KIVVM_ZIP_TIME} ${name}.zip
            WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
            COMMENT "${name}.zip"
            VERBATIM)
    endfunction()
    kivvm_zip(packages ${KIVVM_ZIP_NAME} ALL)
    add_dependencies(packages kivvariantmanager kivvariantmanager_msvc_import_library)
    if(TARGET kivvm)
        add_dependencies(packages kivvm)
    endif()
endif()
