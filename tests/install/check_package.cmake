# SPDX-License-Identifier: MIT
# Checks the Debian packages that dpkg-buildpackage made in DIR: their
# names, dependencies and control files; unpacked together under WORK they
# hold every installed file, with the protections of Debian's build flags;
# lintian --pedantic reports nothing at all on them and on the .changes.
# (What they do once installed is debian/tests/, run by autopkgtest.)
#   cmake -DDIR=<where the packages are> -DWORK=<dir> -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
set(PACKAGED ON)
include(${CMAKE_CURRENT_LIST_DIR}/installed_files.cmake)

foreach(tool dpkg-deb dpkg-architecture lintian)
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

# Every tag lintian knows, informational and pedantic ones included, on the
# packages the .changes lists and on the .changes itself.
execute_process(COMMAND ${lintian_exe} --pedantic --display-info --display-experimental ${changes}
    OUTPUT_VARIABLE report ERROR_QUIET)
if(report MATCHES "(^|\n)[EWIPXO]: ")
    message(FATAL_ERROR "lintian:\n${report}")
endif()
message(STATUS "lintian --pedantic: no tags on ${changes} and ${packages}")
