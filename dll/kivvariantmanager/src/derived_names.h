// SPDX-License-Identifier: MIT
// Names of the selected variant's own files and resources, each built once
// into a buffer of its own and kept for the life of the module.
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
// selected, the fixed fallback when none is, into a buffer of buffer_size
// bytes.  The fallbacks are literals of their own, not built from any row
// (the toolbar fallback even names another file), so they must not be
// "tidied" into the built form.
struct NameRecipe {
    const char *prefix;
    const char *VariantRecord::*field;
    const char *suffix;
    const char *fallback;
    std::size_t buffer_size;  // including the terminating NUL
};

// The four names, each described once.  The directory separator is '/' on
// every platform: the setup location carries none of its own.
inline constexpr NameRecipe kMenuFile{"", &VariantRecord::RHOSetupLocation, "/kivMenus.txt", "kiv/kivMenus.txt", 256};
inline constexpr NameRecipe kToolbarFile{"", &VariantRecord::RHOSetupLocation, "/kivCustomizeTBNEW.txt",
                                         "kiv/kivCustomizeTB.txt", 256};
inline constexpr NameRecipe kSplashName{"IDB_SPLASH_", &VariantRecord::ToolName, "", "IDB_SPLASH_ORU", 128};
inline constexpr NameRecipe kHelpTag{"", &VariantRecord::ToolName, "_ug", "oru_ug", 128};

// Whether the name built from every row of table, and the fallback, fit
// recipe's buffer with their NUL.
template <std::size_t Rows>
constexpr bool fits_its_buffer(const NameRecipe &recipe, const VariantRecord (&table)[Rows]) noexcept
{
    std::size_t longest = std::string_view(recipe.fallback).size();
    for (std::size_t i = 0; i + 1 < Rows; ++i) {
        longest = std::max(longest, std::string_view(recipe.prefix).size() +
                                        std::string_view(table[i].*recipe.field).size() +
                                        std::string_view(recipe.suffix).size());
    }
    return longest < recipe.buffer_size;
}

// Writes the name for row, or the fallback when row is null, into
// buffer[0..size), size > 0.  The text is always NUL-terminated and never
// longer than size - 1; returns the length the whole name needs, so a result
// >= size means it was cut.
std::size_t format_derived_name(const NameRecipe &recipe, const VariantRecord *row, char *buffer,
                                std::size_t size) noexcept;

// Returns buffer once it is filled and published through text: fills it from
// row (see format_derived_name) and publishes it if this caller is the first
// to claim it, otherwise waits until the first caller has published it, so
// nobody sees a half-written name.
const char *fill_once(std::atomic<bool> &claimed, std::atomic<const char *> &text, char *buffer,
                      const NameRecipe &recipe, const VariantRecord *row) noexcept;

// A name settled by its first call: its recipe, its buffer and its state.
template <const NameRecipe &Recipe>
class CachedName {
    static_assert(fits_its_buffer(Recipe, VariantTable), "every built name and the fallback fit the buffer");

public:
    // Built on the first call from the row selection holds then (the
    // fallback while it holds none); the same pointer and text ever after.
    const char *get(const Selection &selection) noexcept
    {
        // Once published, the name never changes: no selection to read, no
        // lock, one load.
        if (const char *settled = text_.load(std::memory_order_acquire)) {
            return settled;
        }
        return fill_once(claimed_, text_, buffer_, Recipe, selected_row(selection));
    }

private:
    std::atomic<const char *> text_{nullptr};  // buffer_, once it is complete
    std::atomic<bool> claimed_{false};         // by the caller that fills it
    char buffer_[Recipe.buffer_size] = {};
};

}  // namespace kivvm

#endif
