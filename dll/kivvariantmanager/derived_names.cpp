// SPDX-License-Identifier: MIT
#include "derived_names.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sched.h>
#endif

#include "selection.h"

namespace kivvm {

namespace {

// Gives the processor to another thread: the operating system's own call, not
// std::this_thread::yield, which would bring a thread library into the DLL.
void yield_processor() noexcept
{
#ifdef _WIN32
    SwitchToThread();
#else
    sched_yield();
#endif
}

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
    // A name is its parts joined, so it is copied part by part rather than
    // printed: a formatted print would bring a whole formatter into the DLL.
    const std::string_view parts[] = {row != nullptr ? recipe.prefix : recipe.fallback,
                                      row != nullptr ? row->*recipe.field : "",
                                      row != nullptr ? recipe.suffix : ""};
    std::size_t length = 0;
    std::size_t needed = 0;
    for (const std::string_view part : parts) {
        const std::size_t fits = std::min(part.size(), size - 1 - length);
        std::memcpy(buffer + length, part.data(), fits);
        length += fits;
        needed += part.size();
    }
    buffer[length] = '\0';
    return needed;
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
        yield_processor();
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
