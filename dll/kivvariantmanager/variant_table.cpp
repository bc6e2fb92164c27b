// SPDX-License-Identifier: MIT
#include "variant_table.h"

#include <array>

#include "derived_names.h"
#include "setup_paths.h"

namespace kivvm {

// Constant data in read-only memory: no run-time initialisation, and every
// string stays at its address for the life of the module.
//
// Selection takes the first row whose key occurs, so order matters: the
// "farunbastion" rows stand before the "farun" rows, whose key is a prefix
// of theirs, and the "farun" rows before the "wex" rows.  Each group of rows
// sharing a key starts with its sub-tool 0 row.
constexpr VariantRecord VariantTable[] = {
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

namespace {

constexpr std::size_t kRowCount = sizeof VariantTable / sizeof VariantTable[0];

// ---- What the code that reads the table relies on, checked at build time.

constexpr bool only_last_row_is_terminator()
{
    for (std::size_t i = 0; i + 1 < kRowCount; ++i) {
        if (is_terminator(VariantTable[i])) {
            return false;
        }
    }
    const VariantRecord &end = VariantTable[kRowCount - 1];
    return is_terminator(end) && end.SubToolID == -1 && cstr_length(end.MatchKey) == 0;
}

constexpr bool strings_present(const VariantRecord &row)
{
    const char *const fields[] = {row.MatchKey,         row.ToolName,   row.SubToolName,
                                  row.ToolExpandedName, row.RHOSetupLocation,
                                  row.SetupPaths,       row.ZEFSectionName};
    for (const char *field : fields) {
        if (field == nullptr || cstr_length(field) == 0) {
            return false;
        }
    }
    return true;
}

// Rows sharing a key form one group: selection can only ever yield its
// first row, and searches each group's key once.  A key that came back after
// another key would start a second group that could never be selected.
constexpr bool rows_sharing_a_key_stand_together()
{
    for (std::size_t i = 1; i + 1 < kRowCount; ++i) {
        for (std::size_t j = 0; j + 1 < i; ++j) {
            if (cstr_equal(VariantTable[i].MatchKey, VariantTable[j].MatchKey) &&
                !cstr_equal(VariantTable[i].MatchKey, VariantTable[i - 1].MatchKey)) {
                return false;
            }
        }
    }
    return true;
}

// Derived names and setup paths are written into fixed buffers.
constexpr bool every_row_fits_the_buffers()
{
    for (std::size_t i = 0; i + 1 < kRowCount; ++i) {
        for (const NameRecipe &recipe : kNameRecipes) {
            if (built_name_length(recipe, VariantTable[i]) >= recipe.buffer_size) {
                return false;
            }
        }
        if (!measure_setup_paths(VariantTable[i].SetupPaths).fits) {
            return false;
        }
    }
    for (const NameRecipe &recipe : kNameRecipes) {
        if (cstr_length(recipe.fallback) >= recipe.buffer_size) {
            return false;
        }
    }
    return true;
}

constexpr bool every_row_has_its_strings()
{
    for (std::size_t i = 0; i + 1 < kRowCount; ++i) {
        if (!strings_present(VariantTable[i])) {
            return false;
        }
    }
    return true;
}

// Computed here, once, so that a selection that finds nothing costs one
// substring search per distinct key and nothing per row.
constexpr std::array<const VariantRecord *, kRowCount> kKeyGroups = [] {
    std::array<const VariantRecord *, kRowCount> heads{};
    collect_key_groups(VariantTable, heads.data());
    return heads;
}();

static_assert(kRowCount == 12, "eleven variants and the terminator");
static_assert(kKeyGroups[4] == nullptr, "four distinct keys");
static_assert(only_last_row_is_terminator(), "the terminator, and only it, ends the table");
static_assert(every_row_has_its_strings(), "every variant has every string, none empty");
static_assert(rows_sharing_a_key_stand_together(), "rows sharing a key stand together");
static_assert(every_row_fits_the_buffers(), "every built name and setup path fits its buffer");

}  // namespace

const VariantRecord *const *const VariantKeyGroups = kKeyGroups.data();

}  // namespace kivvm
