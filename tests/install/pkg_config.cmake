# SPDX-License-Identifier: MIT
# Builds and runs the consumer with nothing but a compiler and pkg-config.
#   cmake -DCC=<compiler> -DPREFIX=<install prefix> -DLIBDIR=<lib dir> -DWORK=<dir>
#         [-DSYSROOT=<dir the prefix is under>] -P pkg_config.cmake
cmake_minimum_required(VERSION 3.25)

find_program(pkg_config pkg-config)
if(NOT pkg_config)
    message(FATAL_ERROR "pkg-config is not installed")
endif()
# A package unpacked under SYSROOT names its real prefix; pkg-config puts
# the sysroot in front of it.
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${SYSROOT}")
set(ENV{PKG_CONFIG_PATH} "${SYSROOT}${PREFIX}/${LIBDIR}/pkgconfig")
execute_process(COMMAND ${pkg_config} --cflags --libs kivvariantmanager
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know kivvariantmanager under ${PREFIX}")
endif()
message(STATUS "pkg-config --cflags --libs: ${flags}")
separate_arguments(flags UNIX_COMMAND "${flags}")

file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${CC}" ${CMAKE_CURRENT_LIST_DIR}/consumer.c ${flags} -o "${WORK}/consumer"
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the consumer does not build with pkg-config's flags")
endif()

set(ENV{LD_LIBRARY_PATH} "${SYSROOT}${PREFIX}/${LIBDIR}")
execute_process(COMMAND "${WORK}/consumer" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the consumer failed")
endif()
