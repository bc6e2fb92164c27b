// SPDX-License-Identifier: MIT
#include "selection.h"

namespace kivvm {

int select_unselected(Selection &current, const VariantRecord *const *key_groups, const char *identity) noexcept
{
    if (identity != nullptr) {
        if (const VariantRecord *found = find_variant(key_groups, identity)) {
            const VariantRecord *expected = &kNoVariant;
            // A failed exchange means another thread selected first; its row stays.
            current.compare_exchange_strong(expected, found, std::memory_order_acq_rel, std::memory_order_acquire);
        }
    }
    return selected_row(current) != nullptr ? 1 : 0;
}

}  // namespace kivvm
