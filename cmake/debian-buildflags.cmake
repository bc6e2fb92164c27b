# SPDX-License-Identifier: MIT
# Builds as Debian builds its packages: the compiler and linker flags of
# dpkg-buildflags with every hardening feature (stack protector, fortified
# functions, relro, bind now) and stack clash protection, and no .comment
# section in the binaries.
find_program(KIVVM_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT KIVVM_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "dpkg-buildflags is not installed (Debian package dpkg-dev)")
endif()
# On amd64 stack clash protection too, which Debian 12's hardening=+all
# leaves out and other distributions turn on by default.
set(maintainer_flags "")
execute_process(COMMAND dpkg-architecture -qDEB_HOST_ARCH OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE)
if(architecture STREQUAL "amd64")
    list(APPEND maintainer_flags DEB_CFLAGS_MAINT_APPEND=-fstack-clash-protection
        DEB_CXXFLAGS_MAINT_APPEND=-fstack-clash-protection)
endif()
foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    # From the source directory, so that its path maps to "." in debug info.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${maintainer_flags}
            ${KIVVM_DPKG_BUILDFLAGS} --get ${kind}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(deb_${kind} UNIX_COMMAND "${flags}")
endforeach()
list(TRANSFORM deb_CFLAGS REPLACE "(.+)" "$<$<COMPILE_LANGUAGE:C>:\\1>")
list(TRANSFORM deb_CXXFLAGS REPLACE "(.+)" "$<$<COMPILE_LANGUAGE:CXX>:\\1>")
add_compile_options(${deb_CPPFLAGS} ${deb_CFLAGS} ${deb_CXXFLAGS})
add_link_options(${deb_LDFLAGS})

# kivvm_drop_comment(<target>...): remove the compilers' .comment section,
# which no packaged binary needs.
function(kivvm_drop_comment)
    foreach(target IN LISTS ARGN)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>
            VERBATIM)
    endforeach()
endfunction()
