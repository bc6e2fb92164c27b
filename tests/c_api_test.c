/* SPDX-License-Identifier: MIT */
/* A host written in C: the header compiles as C89, and every function links
 * and answers through its C declaration.  What each answer must be is the
 * API tests' to check; this host checks that the answers arrive. */
#include <stdio.h>
#include <string.h>

#include "kivvariantmanager.h"
#include "check.h"

int main(void)
{
    char **paths = NULL;
    int count;
    const char *help;

    CHECK(KIVVMGetToolID() == -1 && KIVVMGetSubToolID() == -1);
    CHECK(KIVVMGetToolName() == NULL && KIVVMGetSubToolName() == NULL && KIVVMGetToolExpandedName() == NULL);
    CHECK(KIVVMGetRHOSetupLocation() == NULL && KIVVMGetZEFSectionName() == NULL);
    CHECK(KIVVMGetSetupPaths(&paths) == 0 && paths == NULL);
    help = KIVVMGetHelpFileTagFile();
    CHECK(KIVVMInit("Wex") == 0);

    CHECK(KIVVMInit("c-host-wex") == 1);
    CHECK(KIVVMGetToolID() != -1 && KIVVMGetSubToolID() != -1);
    CHECK(KIVVMGetToolName() != NULL && KIVVMGetSubToolName() != NULL && KIVVMGetToolExpandedName() != NULL);
    CHECK(KIVVMGetRHOSetupLocation() != NULL && KIVVMGetZEFSectionName() != NULL);
    CHECK(KIVVMGetMenuFile() != NULL && KIVVMGetTooBarFile() != NULL && KIVVMGetSplashScreenName() != NULL);
    CHECK(KIVVMGetHelpFileTagFile() == help && strcmp(help, "oru_ug") == 0);

    count = KIVVMGetSetupPaths(&paths);
    CHECK(count >= 1 && paths != NULL && paths[0] != NULL);
    KIVVMFreeSetupPaths(paths, count);

    return CHECK_REPORT();
}
