// SPDX-License-Identifier: MIT
#include "setup_paths.h"

#include <cstring>
#ifdef _WIN32
#include <cstdlib>
#else
#include <new>
#endif

namespace kivvm {

namespace {

// The one place the list's allocator is chosen; every block of a list, the
// array and each string, comes from allocate() and goes back through
// release().
//
// Windows: the C runtime's heap, of the runtime the DLL is built for, so that
// a host on that runtime may release the list with its own free() or delete[]
// (which ends in the same free()).
// Elsewhere: the shared C++ runtime's array new, so that a C++ host may
// release the list with delete[].
// Both give null when memory runs out: nothing is thrown.
template <typename T>
T *allocate(std::size_t count) noexcept
{
#ifdef _WIN32
    return static_cast<T *>(std::malloc(count * sizeof(T)));
#else
    // The compiler guards array new against a count whose size overflows;
    // count is at most kSetupPathsCapacity, so that branch is never taken.
    return new (std::nothrow) T[count];  // GCOVR_EXCL_BR_LINE
#endif
}

template <typename T>
void release(T *block) noexcept
{
#ifdef _WIN32
    std::free(block);
#else
    delete[] block;
#endif
}

}  // namespace

int split_setup_paths(const char *joined, char ***out) noexcept
{
    *out = nullptr;
    const SetupPathsShape shape = measure_setup_paths(joined);
    if (!shape.fits) {
        return 0;
    }
    char **list = allocate<char *>(static_cast<std::size_t>(shape.count));
    if (list == nullptr) {
        return 0;
    }
    // Walk back from the end, so the last path comes first.
    const char *end = joined + shape.length;
    for (int filled = 0; filled < shape.count; ++filled) {
        char *path = allocate<char>(kPathBufferSize);
        if (path == nullptr) {
            // Out of memory: release what was made, and hand out nothing.
            free_setup_paths(list, filled);
            return 0;
        }
        const char *start = end;
        while (start != joined && start[-1] != ':') {
            --start;
        }
        const auto length = static_cast<std::size_t>(end - start);
        std::memcpy(path, start, length);
        path[length] = '\0';
        list[filled] = path;
        end = start - (start != joined ? 1 : 0);  // step over the colon
    }
    *out = list;
    return shape.count;
}

int setup_paths_of(const VariantRecord *row, char ***out) noexcept
{
    if (out == nullptr) {
        return 0;
    }
    if (row == nullptr) {
        *out = nullptr;
        return 0;
    }
    return split_setup_paths(row->SetupPaths, out);
}

void free_setup_paths(char **paths, int count) noexcept
{
    for (int i = 0; paths != nullptr && i < count; ++i) {
        release(paths[i]);
    }
    release(paths);
}

}  // namespace kivvm
