// SPDX-License-Identifier: MIT
#include "selection.h"

namespace kivvm {

namespace {

// Empty at load; constant-initialised, so a fresh load of the module always
// starts unselected.
std::atomic<const VariantRecord *> CurrentVariant{nullptr};

}  // namespace

int select_variant(std::atomic<const VariantRecord *> &current, const VariantRecord *const *key_groups,
                   const char *identity) noexcept
{
    // Selection is sticky, so once set this is the whole call.
    if (current.load(std::memory_order_acquire) != nullptr) {
        return 1;
    }
    if (identity != nullptr) {
        if (const VariantRecord *found = find_variant(key_groups, identity)) {
            const VariantRecord *expected = nullptr;
            // A failed exchange means another thread selected first; its row stays.
            current.compare_exchange_strong(expected, found, std::memory_order_acq_rel,
                                            std::memory_order_acquire);
        }
    }
    return current.load(std::memory_order_acquire) != nullptr ? 1 : 0;
}

int select_current_variant(const char *identity) noexcept
{
    return select_variant(CurrentVariant, VariantKeyGroups, identity);
}

const VariantRecord *current_variant() noexcept
{
    return CurrentVariant.load(std::memory_order_acquire);
}

int current_field(int VariantRecord::*field) noexcept
{
    const VariantRecord *row = current_variant();
    return row != nullptr ? row->*field : -1;
}

const char *current_field(const char *VariantRecord::*field) noexcept
{
    const VariantRecord *row = current_variant();
    return row != nullptr ? row->*field : nullptr;
}

}  // namespace kivvm
