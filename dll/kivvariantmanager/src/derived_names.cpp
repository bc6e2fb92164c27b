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

const char *fill_once(std::atomic<bool> &claimed, std::atomic<const char *> &text, char *buffer,
                      const NameRecipe &recipe, const VariantRecord *row) noexcept
{
    if (!claimed.exchange(true, std::memory_order_acquire)) {
        format_derived_name(recipe, row, buffer, recipe.buffer_size);
        text.store(buffer, std::memory_order_release);
        return buffer;
    }
    // Another caller got there first and may still be writing; that only
    // takes a few copies, so wait for it rather than block on a lock.
    const char *published = nullptr;
    while ((published = text.load(std::memory_order_acquire)) == nullptr) {
        yield_processor();
    }
    return published;
}

}  // namespace kivvm
