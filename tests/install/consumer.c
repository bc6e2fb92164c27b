/* SPDX-License-Identifier: MIT */
/* A host that uses an installed kivvariantmanager: it selects a variant and
 * releases a setup path list.  Valid C and C++, so every kind of consumer
 * builds the same checks. */
#include <stdio.h>

#include <kivvariantmanager.h>

#if KIVVM_VERSION_MAJOR != 1
#error "built against the wrong major version"
#endif

/* The include path a consumer gets holds the public headers alone: none of
 * the library's own headers is reachable through it. */
#if defined(__has_include)
#if __has_include(<module.h>) || __has_include(<selection.h>) || __has_include(<variant_table.h>) || \
    __has_include(<derived_names.h>) || __has_include(<setup_paths.h>)
#error "a private header of kivvariantmanager is on the consumer's include path"
#endif
#else
#error "the compiler cannot tell which headers the include path reaches"
#endif

int main(void)
{
    char **paths = NULL;
    int count;
    int ok = KIVVMInit("consumer-of-farunbastion") == 1 && KIVVMGetToolID() != -1 &&
             KIVVMGetZEFSectionName() != NULL;

    count = KIVVMGetSetupPaths(&paths);
    ok = ok && count >= 1 && paths[0] != NULL;
    KIVVMFreeSetupPaths(paths, count);

    printf("consumer of kivvariantmanager %s: %s\n", KIVVM_VERSION_STRING, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
