// SPDX-License-Identifier: MIT
// Names of the selected variant's own files and resources, built once into
// static buffers and kept for the life of the module.
#ifndef KIVVM_DERIVED_NAMES_H
#define KIVVM_DERIVED_NAMES_H

#include <atomic>
#include <cstddef>

#include "variant_table.h"

namespace kivvm {

enum class DerivedName { MenuFile, ToolbarFile, SplashName, HelpTag };

inline constexpr std::size_t kDerivedNameCount = 4;

// How one name is made: prefix + the row's field + suffix when a variant is
// selected, the fixed fallback when none is.  The fallbacks are literals of
// their own, not built from any row (the toolbar fallback even names another
// file), so they must not be "tidied" into the built form.
struct NameRecipe {
    const char *prefix;
    const char *VariantRecord::*field;
    const char *suffix;
    const char *fallback;
    std::size_t buffer_size;  // including the terminating NUL
};

// The directory separator is '/' on every platform: the setup location
// carries none of its own.
inline constexpr NameRecipe kNameRecipes[kDerivedNameCount] = {
    {"", &VariantRecord::RHOSetupLocation, "/kivMenus.txt", "kiv/kivMenus.txt", 256},
    {"", &VariantRecord::RHOSetupLocation, "/kivCustomizeTBNEW.txt", "kiv/kivCustomizeTB.txt", 256},
    {"IDB_SPLASH_", &VariantRecord::ToolName, "", "IDB_SPLASH_ORU", 128},
    {"", &VariantRecord::ToolName, "_ug", "oru_ug", 128},
};

constexpr const NameRecipe &recipe_of(DerivedName which) noexcept
{
    return kNameRecipes[static_cast<std::size_t>(which)];
}

// Length of the name built from row, without the NUL.
constexpr std::size_t built_name_length(const NameRecipe &recipe, const VariantRecord &row) noexcept
{
    return cstr_length(recipe.prefix) + cstr_length(row.*recipe.field) + cstr_length(recipe.suffix);
}

// Writes the name for row, or the fallback when row is null, into
// buffer[0..size), size > 0.  The text is always NUL-terminated and never
// longer than size - 1; returns the length the whole name needs, so a result >= size
// means it was cut.
std::size_t format_derived_name(const NameRecipe &recipe, const VariantRecord *row, char *buffer,
                                std::size_t size) noexcept;

// A buffer that is filled exactly once, by whichever first caller wins.
struct NameSlot {
    enum : int { kEmpty, kFilling, kFilled };
    std::atomic<int> state;
    char *buffer;
};

// Returns slot.buffer once it is filled: fills it from row (see
// format_derived_name) if this caller is the first, otherwise waits until
// the first caller has finished, so nobody sees a half-written name.
const char *fill_once(NameSlot &slot, const NameRecipe &recipe, const VariantRecord *row) noexcept;

// The module's cached name, built from the variant selected at its first call.
const char *derived_name(DerivedName which) noexcept;

}  // namespace kivvm

#endif
