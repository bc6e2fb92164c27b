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

// What the queries answer while nothing is selected, as a row of its own: -1
// for the identifiers, null for the strings.  A selection starts out here and
// so always points at a row, and reading a field needs no test.
inline constexpr VariantRecord kNoVariant{nullptr, kTerminatorToolID, nullptr, nullptr, -1,
                                          nullptr, nullptr,           nullptr, nullptr};

// A selection: kNoVariant, or the selected row of a table.
using Selection = std::atomic<const VariantRecord *>;

// The selected row, or null while nothing is selected.
inline const VariantRecord *selected_row(const Selection &selection) noexcept
{
    const VariantRecord *row = selection.load(std::memory_order_acquire);
    return row != &kNoVariant ? row : nullptr;
}

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

// The search and the choice of select_variant, for a selection that has not
// been made yet: out of line, so that a made selection costs one load.
int select_unselected(Selection &current, const VariantRecord *const *key_groups, const char *identity) noexcept;

// Selects into current, which only ever goes from kNoVariant to a row of
// key_groups: once it has moved, identity is not looked at.  When threads race,
// the first row stored wins and the others change nothing.  A null identity
// selects nothing.  Returns 1 if a row is selected when the call returns,
// else 0.
inline int select_variant(Selection &current, const VariantRecord *const *key_groups, const char *identity) noexcept
{
    // Selection is sticky, so once made this is the whole call.
    if (current.load(std::memory_order_acquire) != &kNoVariant) {
        return 1;
    }
    return select_unselected(current, key_groups, identity);
}

}  // namespace kivvm

#endif
