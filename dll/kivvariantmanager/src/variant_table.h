// SPDX-License-Identifier: MIT
// The compiled-in variant table: the library's whole knowledge of the
// product variants.  Data, and the checks of its own shape; it knows nothing
// of the code that reads it.
#ifndef KIVVM_VARIANT_TABLE_H
#define KIVVM_VARIANT_TABLE_H

#include <cstddef>
#include <iterator>
#include <string_view>

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

// The rows in selection order, ended by a terminator row: constant data in
// read-only memory, so there is no run-time initialisation, and every string
// stays at its address for the life of the module.
//
// Selection takes the first row whose key occurs, so order matters: the
// "farunbastion" rows stand before the "farun" rows, whose key is a prefix
// of theirs, and the "farun" rows before the "wex" rows.  Each group of rows
// sharing a key starts with its sub-tool 0 row.
inline constexpr VariantRecord VariantTable[] = {
//   MatchKey        ToolID ToolName SubToolName SubToolID ToolExpandedName                                              RHOSetupLocation SetupPaths ZEFSectionName
    {"farunbastion", 1,     "wex",   "oru620",   0,        "Quorin Frame Planner Premier - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"farunbastion", 1,     "wex",   "wex100",   1,        "Stackweld Logic Planner Plus - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"farunbastion", 1,     "wex",   "wex120",   2,        "Stackweld Logic Planner Premier - Wiring Explorer",          "kiv",           "kiv",     "FARUNBASTION"},
    {"farun",        1,     "wex",   "oru620",   0,        "Quorin Frame Planner Premier - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"farun",        1,     "wex",   "wex100",   1,        "Stackweld Logic Planner Plus - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"farun",        1,     "wex",   "wex120",   2,        "Stackweld Logic Planner Premier - Wiring Explorer",          "kiv",           "kiv",     "FARUNBASTION"},
    {"oru",          1,     "wex",   "oru620",   0,        "Quorin Frame Planner Premier - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"wex",          1,     "wex",   "oru620",   0,        "Quorin Frame Planner Premier - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"wex",          1,     "wex",   "wex100",   1,        "Stackweld Logic Planner Plus - Wiring Explorer",             "kiv",           "kiv",     "FARUNBASTION"},
    {"wex",          1,     "wex",   "wex120",   2,        "Stackweld Logic Planner Premier (legacy) - Wiring Explorer", "kiv",           "kiv",     "FARUNBASTION"},
    {"wex",          1,     "wex",   "wex120",   2,        "Stackweld Logic Planner Premier - Wiring Explorer",          "kiv",           "kiv",     "FARUNBASTION"},
    {"",             -1,    "",      "",         -1,       "",                                                           "",              "",        ""},
};

// ---- The table's shape, checked at build time on any table ---------------

// The terminator, and only it, ends the table: its key is empty and its
// SubToolID -1.
template <std::size_t Rows>
constexpr bool only_last_row_is_terminator(const VariantRecord (&table)[Rows]) noexcept
{
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        if (is_terminator(table[i])) {
            return false;
        }
    }
    const VariantRecord &end = table[Rows - 1];
    return is_terminator(end) && end.SubToolID == -1 && std::string_view(end.MatchKey).empty();
}

// Every variant has every string, and none of them is empty.
template <std::size_t Rows>
constexpr bool every_row_has_its_strings(const VariantRecord (&table)[Rows]) noexcept
{
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        const VariantRecord &row = table[i];
        for (const char *field : {row.MatchKey, row.ToolName, row.SubToolName, row.ToolExpandedName,
                                  row.RHOSetupLocation, row.SetupPaths, row.ZEFSectionName}) {
            if (field == nullptr || std::string_view(field).empty()) {
                return false;
            }
        }
    }
    return true;
}

static_assert(std::size(VariantTable) == 12, "eleven variants and the terminator");
static_assert(only_last_row_is_terminator(VariantTable), "the terminator, and only it, ends the table");
static_assert(every_row_has_its_strings(VariantTable), "every variant has every string, none empty");

}  // namespace kivvm

#endif
