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

}  // namespace kivvm

#endif
