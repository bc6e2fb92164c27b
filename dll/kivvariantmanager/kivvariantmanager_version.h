/* SPDX-License-Identifier: MIT */
/*
 * kivvariantmanager_version.h - the library's version, the one place it is
 * kept: the build reads it from here.
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
#define KIVVM_VERSION_STRING "1.0.0"

#endif /* KIVVARIANTMANAGER_VERSION_H */
