/* SPDX-License-Identifier: MIT */
/* A Windows host that releases the setup path list itself, with its own C
 * runtime, as the original hosts do.
 *
 *   heap_host own      the DLL is built for this host's runtime: every block
 *                      of the list must belong to that runtime's heap, and
 *                      the host releases one list with free() and another
 *                      with the runtime's operator delete[] where the runtime
 *                      exports one.
 *   heap_host foreign  the DLL is built for another runtime: the same checks
 *                      must report every block as foreign, and the list goes
 *                      back through KIVVMFreeSetupPaths (releasing it with
 *                      this runtime's free() would corrupt its heap).
 */
#include <malloc.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "kivvariantmanager.h"
#include "check.h"

/* Whether block is a live block of this host runtime's heap with this size. */
static int in_host_heap(void *block, size_t size)
{
    return HeapValidate((HANDLE)_get_heap_handle(), 0, block) && _msize(block) == size;
}

static int foreign_to_host_heap(void *block)
{
    return !HeapValidate((HANDLE)_get_heap_handle(), 0, block) && _msize(block) == (size_t)-1;
}

/* This runtime's operator delete[](void *), by its Visual C++ name, or NULL
 * when the runtime DLL (HOST_RUNTIME, from the build) exports none: ucrtbase
 * leaves it to the compiler's own runtime. */
static void(__cdecl *runtime_array_delete(void))(void *)
{
    HMODULE runtime = GetModuleHandleA(HOST_RUNTIME);
    FARPROC found = runtime == NULL ? NULL
                                    : GetProcAddress(runtime, sizeof(void *) == 8 ? "??_V@YAXPEAX@Z" : "??_V@YAXPAX@Z");
    return (void(__cdecl *)(void *))(void *)found;
}

int main(int argc, char **argv)
{
    const int own = argc == 2 && strcmp(argv[1], "own") == 0;
    void(__cdecl * array_delete)(void *) = runtime_array_delete();
    char **list = NULL;
    int count, i;

    CHECK(KIVVMInit("farunbastion") == 1);
    count = KIVVMGetSetupPaths(&list);
    CHECK(count == 1 && list != NULL && strcmp(list[0], "kiv") == 0);
    if (count < 1 || list == NULL) {
        return 1;
    }
    for (i = 0; i < count; ++i) {
        CHECK(own ? in_host_heap(list[i], 128) : foreign_to_host_heap(list[i]));
    }
    CHECK(own ? in_host_heap(list, count * sizeof *list) : foreign_to_host_heap(list));

    if (!own) {
        KIVVMFreeSetupPaths(list, count);
    } else {
        for (i = 0; i < count; ++i) {
            free(list[i]);
        }
        free(list);
        if (array_delete != NULL) {
            count = KIVVMGetSetupPaths(&list);
            CHECK(count == 1 && in_host_heap(list[0], 128));
            for (i = 0; i < count; ++i) {
                array_delete(list[i]);
            }
            array_delete(list);
        }
    }
    CHECK(GetModuleHandleA(HOST_RUNTIME) != NULL);
    printf("%s: %s heap, released with %s\n", HOST_RUNTIME, own ? "the host runtime's" : "another runtime's",
           !own ? "KIVVMFreeSetupPaths" : array_delete != NULL ? "free() and operator delete[]" : "free()");
    return CHECK_REPORT();
}
