// Splitting a variant's ':'-separated setup paths into a caller-owned list.
#ifndef KIVVM_SETUP_PATHS_H
#define KIVVM_SETUP_PATHS_H

#include <cstddef>

#include "variant_table.h"

namespace kivvm {

// Limits of the list's layout, NUL included: the whole joined string and
// each single path.  Every path gets a buffer of exactly kPathBufferSize.
inline constexpr std::size_t kSetupPathsCapacity = 2048;
inline constexpr std::size_t kPathBufferSize = 128;

// True when joined can be split without losing anything: it fits
// kSetupPathsCapacity and each of its paths fits kPathBufferSize.
constexpr bool setup_paths_fit(const char *joined) noexcept
{
    std::size_t total = 0;
    std::size_t path = 0;
    for (; joined[total] != '\0'; ++total) {
        path = joined[total] == ':' ? 0 : path + 1;
        if (path >= kPathBufferSize) {
            return false;
        }
    }
    return total < kSetupPathsCapacity;
}

// Splits joined at every ':' into a new array of new kPathBufferSize-byte
// strings, last path first; empty paths become empty strings.  Both the array
// and the strings come from array new.  On success stores the array through
// out and returns its length (at least 1).  When joined does not fit (see
// setup_paths_fit) or memory runs out, releases whatever it had allocated,
// stores nullptr through out and returns 0.
int split_setup_paths(const char *joined, char ***out) noexcept;

// The list of row's setup paths as split_setup_paths gives it; row may be
// null (nothing selected), out may be null: both give 0, and a null out is
// left alone.
int setup_paths_of(const VariantRecord *row, char ***out) noexcept;

// Releases a list from split_setup_paths.  paths may be null, and so may
// entries the caller has taken over and set to null.
void free_setup_paths(char **paths, int count) noexcept;

}  // namespace kivvm

#endif
