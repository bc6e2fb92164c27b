/* SPDX-License-Identifier: MIT */
/* A host written in C: the header compiles as C89 and the library links and
 * answers through it. */
#include <stdio.h>
#include <string.h>

#include "kivvariantmanager.h"
#include "check.h"

static int same(const char *a, const char *b)
{
    return a != NULL && b != NULL && strcmp(a, b) == 0;
}

int main(void)
{
    char **paths = NULL;
    int count;

    CHECK(KIVVMGetToolID() == -1);
    CHECK(KIVVMGetZEFSectionName() == NULL);
    CHECK(KIVVMGetSetupPaths(&paths) == 0 && paths == NULL);
    CHECK(same(KIVVMGetHelpFileTagFile(), "oru_ug"));
    CHECK(KIVVMInit("Wex") == 0);

    CHECK(KIVVMInit("c-host-wex") == 1);
    CHECK(KIVVMGetSubToolID() == 0);
    CHECK(same(KIVVMGetSubToolName(), "oru620"));
    CHECK(same(KIVVMGetRHOSetupLocation(), "kiv"));
    CHECK(same(KIVVMGetSplashScreenName(), "IDB_SPLASH_wex"));
    CHECK(same(KIVVMGetHelpFileTagFile(), "oru_ug"));

    count = KIVVMGetSetupPaths(&paths);
    CHECK(count == 1 && paths != NULL && same(paths[0], "kiv"));
    KIVVMFreeSetupPaths(paths, count);

    return CHECK_REPORT();
}
