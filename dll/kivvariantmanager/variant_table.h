// SPDX-License-Identifier: MIT
// The compiled-in variant table: the library's whole knowledge of the
// product variants.
#ifndef KIVVM_VARIANT_TABLE_H
#define KIVVM_VARIANT_TABLE_H

#include <cstddef>

namespace kivvm {

// One row of the table.  Every string is a constant with static lifetime:
// queries hand these pointers to the host unchanged.
struct VariantRecord {
    const char *MatchKey;  // searched for inside the host's identifying string
    int ToolID;            // -1 only in the terminator row
    const char *ToolName;
    const char *SubToolName;
    int SubToolID;
    const char *ToolExpandedName;
    const char *RHOSetupLocation;  // relative directory, no trailing separator
    const char *SetupPaths;        // one or more paths joined by ':'
    const char *ZEFSectionName;
};

inline constexpr int kTerminatorToolID = -1;

constexpr bool is_terminator(const VariantRecord &row) noexcept
{
    return row.ToolID == kTerminatorToolID;
}

// The rows in selection order, ended by a terminator row.
extern const VariantRecord VariantTable[];

// The first row of each run of VariantTable's rows that share a key, in
// table order, ended by a null: the only rows selection has to search, since
// a row cannot match where the row before it, with the same key, did not.
extern const VariantRecord *const *const VariantKeyGroups;

// Small constexpr string helpers, so that the table's data can be checked at
// compile time against the limits of the code that reads it.
constexpr std::size_t cstr_length(const char *s) noexcept
{
    std::size_t n = 0;
    while (s[n] != '\0') {
        ++n;
    }
    return n;
}

constexpr bool cstr_equal(const char *a, const char *b) noexcept
{
    std::size_t i = 0;
    while (a[i] != '\0' && a[i] == b[i]) {
        ++i;
    }
    return a[i] == b[i];
}

// Writes the first row of each run of rows of table that share a key to
// heads, in table order, followed by a null; returns how many it wrote.
// heads needs room for every row of table, terminator included.
constexpr std::size_t collect_key_groups(const VariantRecord *table, const VariantRecord **heads) noexcept
{
    std::size_t count = 0;
    for (const VariantRecord *row = table; !is_terminator(*row); ++row) {
        if (row == table || !cstr_equal(row->MatchKey, row[-1].MatchKey)) {
            heads[count++] = row;
        }
    }
    heads[count] = nullptr;
    return count;
}

}  // namespace kivvm

#endif
