/* SPDX-License-Identifier: MIT */
/* The floor for the query benchmarks: an exported function in a shared
 * library of its own that returns a global, the least any exported query can
 * cost (a call through the PLT and a load). */
#if defined(_WIN32)
#define FLOOR_API __declspec(dllexport)
#else
#define FLOOR_API __attribute__((visibility("default")))
#endif

static const char floor_text[] = "floor";
static const char *floor_string = floor_text;
static int floor_int = 1;

FLOOR_API int kivvm_floor_int(void) { return floor_int; }
FLOOR_API const char *kivvm_floor_string(void) { return floor_string; }

/* The same with one argument, passed and ignored: the floor of KIVVMInit. */
FLOOR_API int kivvm_floor_with_argument(const char *argument)
{
    (void)argument;
    return floor_int;
}
