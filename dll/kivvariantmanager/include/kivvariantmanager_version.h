/* SPDX-License-Identifier: MIT */
/*
 * kivvariantmanager_version.h - the library's version, the one place it is
 * written: the build reads the three numbers from here, and everything else
 * (the string, the comparable number, the packages, the manual page, the
 * DLL's version resource) is made from them.
 *
 * The major version is the ABI: it is the SONAME's number
 * (libkivvariantmanager.so.1), and a library with the same major version
 * runs every host built against an older minor or patch of it.
 */
#ifndef KIVVARIANTMANAGER_VERSION_H
#define KIVVARIANTMANAGER_VERSION_H

#define KIVVM_VERSION_MAJOR 1
#define KIVVM_VERSION_MINOR 0
#define KIVVM_VERSION_PATCH 0

/* One number that compares as the version does: major * 10000 +
 * minor * 100 + patch (10000 for 1.0.0), for #if KIVVM_VERSION_NUMBER >= ... */
#define KIVVM_VERSION_NUMBER \
    (KIVVM_VERSION_MAJOR * 10000 + KIVVM_VERSION_MINOR * 100 + KIVVM_VERSION_PATCH)

/* "major.minor.patch" */
#define KIVVM_VERSION_STRINGIFY_(x) #x
#define KIVVM_VERSION_STRINGIFY(x) KIVVM_VERSION_STRINGIFY_(x)
#define KIVVM_VERSION_STRING                                         \
    KIVVM_VERSION_STRINGIFY(KIVVM_VERSION_MAJOR) "." KIVVM_VERSION_STRINGIFY(KIVVM_VERSION_MINOR) "." \
        KIVVM_VERSION_STRINGIFY(KIVVM_VERSION_PATCH)

#endif /* KIVVARIANTMANAGER_VERSION_H */
