#include "setup_paths.h"

#include <cstring>
#include <new>

namespace kivvm {

int split_setup_paths(const char *joined, char ***out) noexcept
{
    *out = nullptr;
    const SetupPathsShape shape = measure_setup_paths(joined);
    if (!shape.fits) {
        return 0;
    }
    char **list = nullptr;
    int filled = 0;
    try {
        // The compiler guards array new against a count whose size overflows;
        // count is at most kSetupPathsCapacity, so that branch is never taken.
        list = new char *[shape.count];  // GCOVR_EXCL_BR_LINE
        // Walk back from the end, so the last path comes first.
        const char *end = joined + shape.length;
        for (; filled < shape.count; ++filled) {
            const char *start = end;
            while (start != joined && start[-1] != ':') {
                --start;
            }
            char *path = new char[kPathBufferSize];
            const auto length = static_cast<std::size_t>(end - start);
            std::memcpy(path, start, length);
            path[length] = '\0';
            list[filled] = path;
            end = start - (start != joined ? 1 : 0);  // step over the colon
        }
    } catch (...) {
        // Out of memory (array new throws nothing else): release what was
        // made, and let nothing escape.
        free_setup_paths(list, filled);
        return 0;
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
        delete[] paths[i];
    }
    delete[] paths;
}

}  // namespace kivvm
