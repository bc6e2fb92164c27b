// SPDX-License-Identifier: MIT
// Names of the selected variant's own files and resources.  Every text a name
// can ever have is known when the library is built: the name built from each
// row of the table, and the fixed fallback.  Both are constant data; the
// first call of a query only chooses one of them, and keeps it for the life
// of the module.
#ifndef KIVVM_DERIVED_NAMES_H
#define KIVVM_DERIVED_NAMES_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string_view>

#include "selection.h"
#include "variant_table.h"

namespace kivvm {

// How one name is made: prefix + the row's field + suffix when a variant is
// selected, the fixed fallback when none is.  The fallbacks are literals of
// their own, not built from any row (the toolbar fallback even names another
// file), so they must not be "tidied" into the built form.  No text of the
// name may be longer than max_length characters.
struct NameRecipe {
    const char *prefix;
    const char *VariantRecord::*field;
    const char *suffix;
    const char *fallback;
    std::size_t max_length;
};

// The four names, each described once.  The directory separator is '/' on
// every platform: the setup location carries none of its own.
inline constexpr NameRecipe kMenuFile{"", &VariantRecord::RHOSetupLocation, "/kivMenus.txt", "kiv/kivMenus.txt", 255};
inline constexpr NameRecipe kToolbarFile{"", &VariantRecord::RHOSetupLocation, "/kivCustomizeTBNEW.txt",
                                         "kiv/kivCustomizeTB.txt", 255};
inline constexpr NameRecipe kSplashName{"IDB_SPLASH_", &VariantRecord::ToolName, "", "IDB_SPLASH_ORU", 127};
inline constexpr NameRecipe kHelpTag{"", &VariantRecord::ToolName, "_ug", "oru_ug", 127};

// The length of the name built from every row of table but the terminator:
// the longest of them.
template <std::size_t Rows>
constexpr std::size_t longest_built_name(const NameRecipe &recipe, const VariantRecord (&table)[Rows]) noexcept
{
    std::size_t longest = 0;
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        longest = std::max(longest, std::string_view(recipe.prefix).size() +
                                        std::string_view(table[i].*recipe.field).size() +
                                        std::string_view(recipe.suffix).size());
    }
    return longest;
}

// Whether the name built from every row of table, and the fallback, stay
// within recipe's limit.
template <std::size_t Rows>
constexpr bool within_limit(const NameRecipe &recipe, const VariantRecord (&table)[Rows]) noexcept
{
    return longest_built_name(recipe, table) <= recipe.max_length &&
           std::string_view(recipe.fallback).size() <= recipe.max_length;
}

// The name built from each of Rows rows of a table, Size bytes each with
// the NUL.
template <std::size_t Rows, std::size_t Size>
struct BuiltNames {
    char text[Rows][Size];
};

// recipe's name built from every row of table but the terminator, at compile
// time; Size must hold the longest and its NUL (see longest_built_name).
template <std::size_t Size, std::size_t Rows>
constexpr BuiltNames<Rows - 1, Size> build_names(const NameRecipe &recipe, const VariantRecord (&table)[Rows]) noexcept
{
    BuiltNames<Rows - 1, Size> names{};
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        std::size_t length = 0;
        for (const std::string_view part : {std::string_view(recipe.prefix), std::string_view(table[i].*recipe.field),
                                            std::string_view(recipe.suffix)}) {
            for (const char c : part) {
                names.text[i][length++] = c;
            }
        }
    }
    return names;
}

// Recipe's name built from every row of the compiled-in table: read-only
// data, the longest name deciding the size of all.
template <const NameRecipe &Recipe>
inline constexpr auto kBuiltNames = build_names<longest_built_name(Recipe, VariantTable) + 1>(Recipe, VariantTable);

// Recipe's name for row, a row of the compiled-in table, or its fallback
// when row is null.
template <const NameRecipe &Recipe>
constexpr const char *name_for(const VariantRecord *row) noexcept
{
    return row == nullptr ? Recipe.fallback : kBuiltNames<Recipe>.text[row - VariantTable];
}

// Publishes candidate through published unless a name is published already;
// returns the name published, this one or the earlier one.  Never waits.
const char *publish_name(std::atomic<const char *> &published, const char *candidate) noexcept;

// A name settled by its first call.
template <const NameRecipe &Recipe>
class SettledName {
    static_assert(within_limit(Recipe, VariantTable), "every built name and the fallback stay within the limit");

public:
    // The first call publishes the text for the row selection holds at that
    // moment (the fallback while it holds none); every call returns the
    // published pointer.
    const char *get(const Selection &selection) noexcept
    {
        if (const char *settled = text_.load(std::memory_order_acquire)) {
            return settled;
        }
        return publish_name(text_, name_for<Recipe>(selected_row(selection)));
    }

private:
    std::atomic<const char *> text_{nullptr};
};

}  // namespace kivvm

#endif
