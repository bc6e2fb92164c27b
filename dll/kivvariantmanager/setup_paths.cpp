#include "setup_paths.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kivvm {

namespace {

// Appends a new kPathBufferSize-byte copy of path to list; false when
// memory runs out.  The caller has checked that path fits.
bool append_path(char **list, int &filled, const char *path) noexcept
{
    char *buffer = new (std::nothrow) char[kPathBufferSize];
    if (buffer == nullptr) {
        return false;
    }
    std::memcpy(buffer, path, std::strlen(path) + 1);
    list[filled++] = buffer;
    return true;
}

// Cuts work apart at its colons from the end, so the last path comes first,
// and appends each path to list.
bool append_paths_last_first(char *work, char **list, int &filled) noexcept
{
    for (char *colon = std::strrchr(work, ':'); colon != nullptr; colon = std::strrchr(work, ':')) {
        *colon = '\0';
        if (!append_path(list, filled, colon + 1)) {
            return false;
        }
    }
    return append_path(list, filled, work);
}

}  // namespace

int split_setup_paths(const char *joined, char ***out) noexcept
{
    *out = nullptr;
    if (!setup_paths_fit(joined)) {
        return 0;
    }
    // The split cuts the string in place, so work on a copy.
    char work[kSetupPathsCapacity];
    const std::size_t length = std::strlen(joined);
    std::memcpy(work, joined, length + 1);

    const int count = 1 + static_cast<int>(std::count(work, work + length, ':'));
    // The compiler guards array new against a count whose size overflows;
    // count is at most kSetupPathsCapacity, so that branch is never taken.
    char **list = new (std::nothrow) char *[count];  // GCOVR_EXCL_BR_LINE
    if (list == nullptr) {
        return 0;
    }
    int filled = 0;
    if (!append_paths_last_first(work, list, filled)) {
        free_setup_paths(list, filled);
        return 0;
    }
    *out = list;
    return count;
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
