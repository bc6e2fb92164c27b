# SPDX-License-Identifier: MIT
# Checks the Debian packages that dpkg-buildpackage made in DIR: their
# names, dependencies and control files; unpacked together under WORK they
# hold every installed file, with the protections of Debian's build flags,
# and kivvm, gdb with the debug symbols packages, a find_package consumer, a
# pkg-config consumer and man 3 work with them; lintian --pedantic reports
# nothing at all on them and on the .changes.
#   cmake -DDIR=<where the packages are> -DWORK=<dir> -DCC=<c compiler>
#         -DCTEST=<ctest> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
set(PACKAGED ON)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

foreach(tool dpkg-deb dpkg-architecture lintian readelf gdb)
    find_program(${tool}_exe ${tool})
    if(NOT ${tool}_exe)
        message(FATAL_ERROR "${tool} is not installed")
    endif()
endforeach()

file(GLOB changes ${DIR}/kivvariantmanager_*.changes)
if(NOT changes MATCHES "kivvariantmanager_([^_]+)_[^/]+\\.changes$")
    message(FATAL_ERROR "no kivvariantmanager_*.changes in ${DIR}")
endif()
set(VERSION ${CMAKE_MATCH_1})
file(REMOVE_RECURSE "${WORK}")

execute_process(COMMAND ${dpkg-architecture_exe} -qDEB_HOST_ARCH OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${dpkg-architecture_exe} -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE triplet OUTPUT_STRIP_TRAILING_WHITESPACE)
set(library libkivvariantmanager1)
set(packages ${library} libkivvariantmanager-dev kivvm ${library}-dbgsym kivvm-dbgsym)
file(MAKE_DIRECTORY "${WORK}/root")
foreach(package IN LISTS packages)
    set(deb ${DIR}/${package}_${VERSION}_${arch}.deb)
    if(NOT EXISTS ${deb})
        message(FATAL_ERROR "no package ${deb}")
    endif()
    execute_process(COMMAND ${dpkg-deb_exe} --field ${deb} Depends OUTPUT_VARIABLE depends_${package}
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${dpkg-deb_exe} --field ${deb} Multi-Arch OUTPUT_VARIABLE multiarch_${package}
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${dpkg-deb_exe} --ctrl-tarfile ${deb} OUTPUT_FILE ${WORK}-${package}.tar)
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${WORK}-${package}.tar OUTPUT_VARIABLE control_${package})
    file(REMOVE ${WORK}-${package}.tar)
    execute_process(COMMAND ${dpkg-deb_exe} -x ${deb} ${WORK}/root RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dpkg-deb cannot unpack ${deb}")
    endif()
    message(STATUS "${package}: Depends: ${depends_${package}}")
endforeach()

# Dependencies: the library on the C and C++ runtimes, the others on exactly
# this version of the library.
if(NOT depends_${library} MATCHES "libc6 \\(>= " OR NOT depends_${library} MATCHES "libstdc\\+\\+6 \\(>= ")
    message(FATAL_ERROR "${library} lacks the C or C++ runtime: ${depends_${library}}")
endif()
foreach(package libkivvariantmanager-dev kivvm)
    if(NOT depends_${package} MATCHES "(^|, )${library} \\(= ${VERSION}\\)(,|$)")
        message(FATAL_ERROR "${package} does not depend on ${library} (= ${VERSION}): ${depends_${package}}")
    endif()
endforeach()
foreach(package ${library} kivvm)
    if(NOT depends_${package}-dbgsym STREQUAL "${package} (= ${VERSION})")
        message(FATAL_ERROR "${package}-dbgsym depends on ${depends_${package}-dbgsym}, not ${package} (= ${VERSION})")
    endif()
endforeach()
# The library and its development files install for several architectures
# side by side; kivvm serves any architecture's scripts.
foreach(package_multiarch "${library}=same" "libkivvariantmanager-dev=same" "kivvm=foreign")
    string(REPLACE "=" ";" package_multiarch "${package_multiarch}")
    list(GET package_multiarch 0 package)
    list(GET package_multiarch 1 expected)
    if(NOT multiarch_${package} STREQUAL expected)
        message(FATAL_ERROR "${package} has Multi-Arch: '${multiarch_${package}}', not ${expected}")
    endif()
endforeach()
# ldconfig runs through the trigger, and no maintainer script calls it.
foreach(file shlibs symbols triggers)
    if(NOT control_${library} MATCHES "(^|\n)(\\./)?${file}\n")
        message(FATAL_ERROR "${library} has no ${file} control file")
    endif()
endforeach()
foreach(package IN LISTS packages)
    if(control_${package} MATCHES "(postinst|postrm|preinst|prerm)")
        message(FATAL_ERROR "${package} has maintainer scripts:\n${control_${package}}")
    endif()
endforeach()

set(root ${WORK}/root)
kivvm_check_installed_files("${root}/usr" "lib/${triplet}" "${VERSION}")

# The protections Debian's build flags give the binaries.
set(ROOT ${root})
set(LIBDIR lib/${triplet})
include(${CMAKE_CURRENT_LIST_DIR}/check_hardening.cmake)

set(ENV{LD_LIBRARY_PATH} "${root}/usr/lib/${triplet}")
execute_process(COMMAND ${root}/usr/bin/kivvm --list OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the packaged kivvm does not run")
endif()

# The debug symbols packages hold the debug information of the packaged
# library and kivvm under their build ids, and gdb finds it there: it stops
# in KIVVMInit at its source file and line.
foreach(binary usr/lib/${triplet}/libkivvariantmanager.so.${VERSION} usr/bin/kivvm)
    execute_process(COMMAND ${readelf_exe} -nW ${root}/${binary} OUTPUT_VARIABLE notes)
    string(REGEX MATCH "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)" _ "${notes}")
    if(NOT EXISTS ${root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
        message(FATAL_ERROR "no debug information for ${binary} under its build id")
    endif()
endforeach()
execute_process(COMMAND ${gdb_exe} -batch -nx -iex "set debug-file-directory ${root}/usr/lib/debug"
        -ex "set breakpoint pending on" -ex "break KIVVMInit" -ex run
        --args ${root}/usr/bin/kivvm farunbastion
    OUTPUT_VARIABLE gdb_output ERROR_VARIABLE gdb_output TIMEOUT 120)
if(NOT gdb_output MATCHES "Breakpoint 1, KIVVMInit \\([^\n]*\\) at [^\n]*exports\\.cpp:[0-9]+")
    message(FATAL_ERROR "gdb shows no source file and line in KIVVMInit:\n${gdb_output}")
endif()
execute_process(COMMAND "${CTEST}" --build-and-test
        ${CMAKE_CURRENT_LIST_DIR}/find_package "${WORK}/find_package"
        --build-generator Ninja
        --build-options "-DCMAKE_PREFIX_PATH=${root}/usr"
        --test-command consumer
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the find_package consumer fails against the packages")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DCC=${CC} -DSYSROOT=${root} -DPREFIX=/usr -DLIBDIR=lib/${triplet}
        "-DWORK=${WORK}/pkg_config" -P ${CMAKE_CURRENT_LIST_DIR}/pkg_config.cmake
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the pkg-config consumer fails against the packages")
endif()

# The development package's manual page shows a function's text from the
# header when asked for by the function's name.
set(ENV{MANWIDTH} 200)
execute_process(COMMAND man -M ${root}/usr/share/man 3 KIVVMGetSetupPaths
    OUTPUT_VARIABLE shown ERROR_QUIET RESULT_VARIABLE rc)
string(REGEX REPLACE "[ \n]+" " " shown "${shown}")
if(NOT rc EQUAL 0 OR NOT shown MATCHES "Splits the selected variant's ':'-separated setup paths")
    message(FATAL_ERROR "man 3 KIVVMGetSetupPaths does not show its text from the packaged page")
endif()

# Every tag lintian knows, informational and pedantic ones included, on the
# packages the .changes lists and on the .changes itself.
execute_process(COMMAND ${lintian_exe} --pedantic --display-info --display-experimental ${changes}
    OUTPUT_VARIABLE report ERROR_QUIET)
if(report MATCHES "(^|\n)[EWIPXO]: ")
    message(FATAL_ERROR "lintian:\n${report}")
endif()
message(STATUS "lintian --pedantic: no tags on ${changes} and ${packages}")
