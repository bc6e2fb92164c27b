// SPDX-License-Identifier: MIT
// Selecting a variant from the host's identifying string: which rows a
// selection searches, the search itself, and the sticky choice.  Pure
// functions over a table and a selection passed in; the module's own
// selection lives with the module state.
#ifndef KIVVM_SELECTION_H
#define KIVVM_SELECTION_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "variant_table.h"

namespace kivvm {

// ---- Key groups -------------------------------------------------------------

// Writes the first row of each run of rows of table that share a key to
// heads, in table order, followed by a null; returns how many it wrote.
// heads needs room for every row of table, terminator included.  These are
// the only rows a selection has to search: a row cannot match where the row
// before it, with the same key, did not.
constexpr std::size_t collect_key_groups(const VariantRecord *table, const VariantRecord **heads) noexcept
{
    std::size_t count = 0;
    for (const VariantRecord *row = table; !is_terminator(*row); ++row) {
        if (row == table || std::string_view(row->MatchKey) != row[-1].MatchKey) {
            heads[count++] = row;
        }
    }
    heads[count] = nullptr;
    return count;
}

// Rows sharing a key stand together: a key that came back after another key
// would start a second group that could never be selected.
template <std::size_t Rows>
constexpr bool rows_sharing_a_key_stand_together(const VariantRecord (&table)[Rows]) noexcept
{
    for (std::size_t i = 1; i + 1 < Rows; ++i) {
        for (std::size_t j = 0; j + 1 < i; ++j) {
            const std::string_view key = table[i].MatchKey;
            if (key == table[j].MatchKey && key != table[i - 1].MatchKey) {
                return false;
            }
        }
    }
    return true;
}

static_assert(rows_sharing_a_key_stand_together(VariantTable), "rows sharing a key stand together");

// The key groups of VariantTable, worked out at compile time, so that a
// selection that finds nothing costs one substring search per distinct key
// and nothing per row.
inline constexpr std::array<const VariantRecord *, std::size(VariantTable)> kVariantKeyGroups = [] {
    std::array<const VariantRecord *, std::size(VariantTable)> heads{};
    collect_key_groups(VariantTable, heads.data());
    return heads;
}();
inline constexpr const VariantRecord *const *VariantKeyGroups = kVariantKeyGroups.data();

static_assert(kVariantKeyGroups[4] == nullptr, "four distinct keys");

// ---- Selection --------------------------------------------------------------

// The first row whose MatchKey occurs anywhere in identity, byte-wise and
// case-sensitively, searching only the first row of each key group; nullptr
// when none matches.  Row order alone decides: neither the position nor the
// length of the key plays a part.
inline const VariantRecord *find_variant(const VariantRecord *const *key_groups, const char *identity) noexcept
{
    for (const VariantRecord *const *head = key_groups; *head != nullptr; ++head) {
        if (std::strstr(identity, (*head)->MatchKey) != nullptr) {
            return *head;
        }
    }
    return nullptr;
}

// Selects into current, which only ever goes from null to a row of
// key_groups: once it is set, identity is not looked at.  When threads race,
// the first row stored wins and the others change nothing.  A null identity
// selects nothing.  Returns 1 if current is set when the call returns,
// else 0.
inline int select_variant(std::atomic<const VariantRecord *> &current, const VariantRecord *const *key_groups,
                          const char *identity) noexcept
{
    // Selection is sticky, so once set this is the whole call.
    if (current.load(std::memory_order_acquire) != nullptr) {
        return 1;
    }
    if (identity != nullptr) {
        if (const VariantRecord *found = find_variant(key_groups, identity)) {
            const VariantRecord *expected = nullptr;
            // A failed exchange means another thread selected first; its row stays.
            current.compare_exchange_strong(expected, found, std::memory_order_acq_rel, std::memory_order_acquire);
        }
    }
    return current.load(std::memory_order_acquire) != nullptr ? 1 : 0;
}

}  // namespace kivvm

#endif
