# SPDX-License-Identifier: MIT
# kivvm_shlibdeps(<out-var> <binary> <private library dir>): the Depends of a
# binary's shared libraries, as dpkg-shlibdeps reads them from the installed
# packages; libraries found in the private directory (our own) are left to
# the caller.  Used by CPack when it makes the Debian packages.
function(kivvm_shlibdeps out binary private_dir)
    find_program(dpkg_shlibdeps dpkg-shlibdeps)
    if(NOT dpkg_shlibdeps)
        message(FATAL_ERROR "dpkg-shlibdeps is not installed (Debian package dpkg-dev)")
    endif()
    # dpkg-shlibdeps wants to run in a source package's directory.
    set(work ${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps)
    file(MAKE_DIRECTORY ${work}/debian)
    file(WRITE ${work}/debian/control "")
    set(options "")
    if(private_dir)
        set(options -l${private_dir} --ignore-missing-info)
    endif()
    execute_process(COMMAND ${dpkg_shlibdeps} ${options} -O ${binary}
        WORKING_DIRECTORY ${work}
        OUTPUT_VARIABLE substvars ERROR_VARIABLE errors RESULT_VARIABLE rc
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0 OR NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
        message(FATAL_ERROR "dpkg-shlibdeps failed on ${binary}: ${errors}")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
