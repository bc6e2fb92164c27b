// SPDX-License-Identifier: MIT
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

// What one pass over a ':'-joined string tells: its length, how many paths
// it holds, and whether it can be split without losing anything (it fits
// kSetupPathsCapacity and each path fits kPathBufferSize).
struct SetupPathsShape {
    std::size_t length;
    int count;
    bool fits;
};

constexpr SetupPathsShape measure_setup_paths(const char *joined) noexcept
{
    SetupPathsShape shape{0, 1, true};
    std::size_t path = 0;
    for (; joined[shape.length] != '\0'; ++shape.length) {
        if (joined[shape.length] == ':') {
            ++shape.count;
            path = 0;
        } else if (++path >= kPathBufferSize) {
            shape.fits = false;
        }
    }
    shape.fits = shape.fits && shape.length < kSetupPathsCapacity;
    return shape;
}

// Every row of table can be split without losing anything.
template <std::size_t Rows>
constexpr bool every_row_splits(const VariantRecord (&table)[Rows]) noexcept
{
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        if (!measure_setup_paths(table[i].SetupPaths).fits) {
            return false;
        }
    }
    return true;
}

static_assert(every_row_splits(VariantTable), "every variant's setup paths fit the list's buffers");

// Splits joined at every ':' into a new array of new kPathBufferSize-byte
// strings, last path first; empty paths become empty strings.  The array and
// the strings come from the list's allocator (see setup_paths.cpp): the C
// runtime's malloc on Windows, array new elsewhere.  On success stores the array through
// out and returns its length (at least 1).  When joined does not fit (see
// measure_setup_paths) or memory runs out, releases whatever it had
// allocated, stores nullptr through out and returns 0.
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
