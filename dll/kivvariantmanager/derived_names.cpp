#include "derived_names.h"

#include <cstdio>
#include <thread>

#include "selection.h"

namespace kivvm {

namespace {

// Each buffer holds the empty string until its query is first called.
char MenuFileBuffer[recipe_of(DerivedName::MenuFile).buffer_size];
char ToolbarFileBuffer[recipe_of(DerivedName::ToolbarFile).buffer_size];
char SplashNameBuffer[recipe_of(DerivedName::SplashName).buffer_size];
char HelpTagBuffer[recipe_of(DerivedName::HelpTag).buffer_size];

// In DerivedName order.
NameSlot Slots[kDerivedNameCount] = {
    {{NameSlot::kEmpty}, MenuFileBuffer},
    {{NameSlot::kEmpty}, ToolbarFileBuffer},
    {{NameSlot::kEmpty}, SplashNameBuffer},
    {{NameSlot::kEmpty}, HelpTagBuffer},
};

}  // namespace

std::size_t format_derived_name(const NameRecipe &recipe, const VariantRecord *row, char *buffer,
                                std::size_t size) noexcept
{
    const int needed = row != nullptr
                           ? std::snprintf(buffer, size, "%s%s%s", recipe.prefix, row->*recipe.field,
                                           recipe.suffix)
                           : std::snprintf(buffer, size, "%s", recipe.fallback);
    // snprintf only fails on an encoding error, which plain %s cannot produce.
    return static_cast<std::size_t>(needed);
}

const char *fill_once(NameSlot &slot, const NameRecipe &recipe, const VariantRecord *row) noexcept
{
    int expected = NameSlot::kEmpty;
    if (slot.state.compare_exchange_strong(expected, NameSlot::kFilling, std::memory_order_acquire)) {
        format_derived_name(recipe, row, slot.buffer, recipe.buffer_size);
        slot.state.store(NameSlot::kFilled, std::memory_order_release);
        return slot.buffer;
    }
    // Another caller got there first and may still be writing; that only
    // takes one formatted print, so wait for it rather than block on a lock.
    while (slot.state.load(std::memory_order_acquire) != NameSlot::kFilled) {
        std::this_thread::yield();
    }
    return slot.buffer;
}

const char *derived_name(DerivedName which) noexcept
{
    NameSlot &slot = Slots[static_cast<std::size_t>(which)];
    // Once filled, the name never changes: no selection to read, no lock.
    if (slot.state.load(std::memory_order_acquire) == NameSlot::kFilled) {
        return slot.buffer;
    }
    return fill_once(slot, recipe_of(which), current_variant());
}

}  // namespace kivvm
