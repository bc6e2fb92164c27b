/* SPDX-License-Identifier: MIT */
/* A host that kivvm check-host refuses for its heap: on another C runtime
 * than the DLL's, it takes the setup path list and releases it with its
 * own free(), never naming KIVVMFreeSetupPaths.  Under wine's heap
 * warnings, each free() shows the block as another heap's. */
#include <stdlib.h>

#include "kivvariantmanager.h"

int main(void)
{
    char **list = NULL;
    int count, i;

    if (KIVVMInit("farunbastion") != 1) {
        return 1;
    }
    count = KIVVMGetSetupPaths(&list);
    for (i = 0; i < count; ++i) {
        free(list[i]);
    }
    free(list);
    return 0;
}
