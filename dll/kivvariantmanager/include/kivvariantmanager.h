/* SPDX-License-Identifier: MIT */
/*
 * kivvariantmanager.h - which product variant is this host running as?
 *
 * A host loads the library, passes an identifying string to KIVVMInit and
 * from then on asks for the selected variant's identity, the names of its
 * own files and resources, and its setup paths.  The library carries one
 * compiled-in table of variants; KIVVMInit selects the first row whose match
 * key occurs, byte-wise and case-sensitively, anywhere in the identifying
 * string.
 *
 * Module state
 *   The selection is module-wide and sticky: once a row is selected it stays
 *   selected until the library is unloaded, and later KIVVMInit calls change
 *   nothing.  Unloading and loading the library again starts from nothing.
 *
 * Strings
 *   Every string is an 8-bit, NUL-terminated byte string; no character-set
 *   conversion takes place.  Every string the library returns, except the
 *   setup path list, belongs to the library: it points into the library's
 *   constant data (the variant table, or the derived names built from it
 *   when the library was built), stays valid and unchanged until the library
 *   is unloaded, and must be neither modified nor freed.
 *
 * Results while nothing is selected
 *   Integer identifiers give -1, table strings give NULL, derived names give
 *   a fixed fallback (and keep it, see below), KIVVMGetSetupPaths gives 0.
 *
 * Threads
 *   Every function may be called from any thread at any time.  Concurrent
 *   first calls of KIVVMInit are resolved so that exactly one selection
 *   wins; each derived name is settled exactly once and every caller sees the
 *   same pointer.  The library takes no lock of its own and no call waits
 *   for another caller; only the setup path list's allocation and release
 *   go through the runtime's allocator, with whatever locking it has.
 *
 * Errors
 *   Nothing is reported through codes, errno, exceptions or logs: results are
 *   the fixed values documented below.  No C++ exception leaves the library.
 *
 * Calling convention
 *   Every function below is a plain C function with the cdecl calling
 *   convention (the caller removes the arguments), exported by its plain C
 *   name and nothing else: KIVVM_CALL makes the convention explicit where a
 *   compiler has a choice, so a host that resolves the functions by name
 *   must declare its pointers cdecl too.  How the Windows DLL is built, which
 *   C runtime it uses and how a host binds to it: the README's Windows
 *   section.
 *
 * Releasing the setup path list
 *   KIVVMFreeSetupPaths releases it on every platform.  The list also comes
 *   from an allocator a host may share: on Linux the C++ runtime's operator
 *   new[], so a C++ host may use delete[]; on Windows the malloc of the C
 *   runtime the DLL was built for, so a host on that same runtime may use
 *   its free().
 */
#ifndef KIVVARIANTMANAGER_H
#define KIVVARIANTMANAGER_H

#include "kivvariantmanager_version.h"

/* KIVVM_API marks the exported interface; everything else in the library is
 * hidden.  KIVVM_BUILDING is defined only while the library itself is built. */
#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(KIVVM_BUILDING)
#    define KIVVM_API __declspec(dllexport)
#  else
#    define KIVVM_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KIVVM_API __attribute__((visibility("default")))
#else
#  define KIVVM_API
#endif

/* KIVVM_CALL is the calling convention: cdecl, the caller removes the
 * arguments.  Only 32-bit Windows has a choice to make explicit. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#  define KIVVM_CALL __cdecl
#else
#  define KIVVM_CALL
#endif

/* For C++ hosts: no exception ever leaves the library. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#  define KIVVM_NOEXCEPT noexcept
#else
#  define KIVVM_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Selection ---------------------------------------------------------- */

/*
 * Selects the variant for this process.
 *
 * identity: NUL-terminated string that identifies the host; only read, no
 * reference to it is kept.  The first table row whose match key occurs in
 * identity is selected; keys are matched byte-wise and case-sensitively,
 * and neither the position nor the length of the key matters.
 *
 * Returns 1 if a variant is selected when the call returns, 0 otherwise.
 * Once a variant is selected, every later call returns 1 at once without
 * looking at identity.  A call that finds no key changes nothing, so a later
 * call may still succeed.  identity == NULL selects nothing: the result
 * then only tells whether a variant is already selected.
 */
KIVVM_API int KIVVM_CALL KIVVMInit(const char *identity) KIVVM_NOEXCEPT;

/* ---- Identity of the selected variant ----------------------------------- */

/*
 * Each returns one field of the selected row.  Strings point into the
 * library's constant table (owned by the library, valid until unload).
 * While nothing is selected: -1 for the identifiers, NULL for the strings.
 * No side effects.
 */
KIVVM_API int KIVVM_CALL KIVVMGetToolID(void) KIVVM_NOEXCEPT;
KIVVM_API const char *KIVVM_CALL KIVVMGetToolName(void) KIVVM_NOEXCEPT;
KIVVM_API int KIVVM_CALL KIVVMGetSubToolID(void) KIVVM_NOEXCEPT;
KIVVM_API const char *KIVVM_CALL KIVVMGetSubToolName(void) KIVVM_NOEXCEPT;
/* The tool's long name, e.g. for a title bar. */
KIVVM_API const char *KIVVM_CALL KIVVMGetToolExpandedName(void) KIVVM_NOEXCEPT;
/* Relative directory of the variant's setup files, without a trailing
 * separator. */
KIVVM_API const char *KIVVM_CALL KIVVMGetRHOSetupLocation(void) KIVVM_NOEXCEPT;
/* The name of the variant's section. */
KIVVM_API const char *KIVVM_CALL KIVVMGetZEFSectionName(void) KIVVM_NOEXCEPT;

/* ---- Derived names ------------------------------------------------------- */

/*
 * Each name is settled by the first call of its function: the name of the
 * variant selected at that moment, or the fallback while none is.  Every
 * later call returns the same pointer to the same text, never NULL.  The
 * text is constant data of the library, valid until unload.
 *
 * A first call made while nothing is selected stores the fallback, and the
 * fallback stays for the life of the module even after a later successful
 * KIVVMInit.  Each name is settled independently of the others.
 *
 *                              selected                      fallback
 * KIVVMGetMenuFile             "<setup location>/kivMenus.txt"
 *                                                            "kiv/kivMenus.txt"
 * KIVVMGetTooBarFile           "<setup location>/kivCustomizeTBNEW.txt"
 *                                                      "kiv/kivCustomizeTB.txt"
 * KIVVMGetSplashScreenName     "IDB_SPLASH_<tool name>"      "IDB_SPLASH_ORU"
 * KIVVMGetHelpFileTagFile      "<tool name>_ug"              "oru_ug"
 *
 * The directory separator is always '/'.  The toolbar function is spelled
 * "TooBar"; there is no KIVVMGetToolBarFile.
 */
KIVVM_API const char *KIVVM_CALL KIVVMGetMenuFile(void) KIVVM_NOEXCEPT;
KIVVM_API const char *KIVVM_CALL KIVVMGetTooBarFile(void) KIVVM_NOEXCEPT;
KIVVM_API const char *KIVVM_CALL KIVVMGetSplashScreenName(void) KIVVM_NOEXCEPT;
KIVVM_API const char *KIVVM_CALL KIVVMGetHelpFileTagFile(void) KIVVM_NOEXCEPT;

/* ---- Setup paths --------------------------------------------------------- */

/*
 * Splits the selected variant's ':'-separated setup paths into a new list.
 *
 * On success stores a new array of count strings through out and returns
 * count (at least 1).  The paths come last first: "a:b:c" gives
 * {"c", "b", "a"}; empty paths (adjacent, leading or trailing ':') give
 * empty strings.  Each string has its own buffer of 128 bytes.
 *
 * The list belongs to the caller and is independent of every other list.
 * Release it with KIVVMFreeSetupPaths(list, count); a host that shares the
 * library's allocator may instead release each string and then the array
 * itself (see "Releasing the setup path list" above).
 *
 * Returns 0 and stores NULL through out when nothing is selected or memory
 * runs out (nothing is leaked).  Returns 0 and stores nothing when out is
 * NULL.
 */
KIVVM_API int KIVVM_CALL KIVVMGetSetupPaths(char ***out) KIVVM_NOEXCEPT;

/*
 * Releases a list returned by KIVVMGetSetupPaths, with the allocator that
 * made it.  count is the number KIVVMGetSetupPaths returned.  paths == NULL
 * does nothing; entries set to NULL (strings the host has released itself
 * with the library's runtime, or kept) are skipped.
 */
KIVVM_API void KIVVM_CALL KIVVMFreeSetupPaths(char **paths, int count) KIVVM_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KIVVARIANTMANAGER_H */
