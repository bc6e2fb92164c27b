// SPDX-License-Identifier: MIT
// Selecting the current variant from the host's identifying string, and
// reading the selected row.
#ifndef KIVVM_SELECTION_H
#define KIVVM_SELECTION_H

#include <atomic>
#include <cstring>

#include "variant_table.h"

namespace kivvm {

// The first row whose MatchKey occurs anywhere in identity, byte-wise and
// case-sensitively, searching only the first row of each key group (see
// collect_key_groups); nullptr when none matches.  Row order alone decides:
// neither the position nor the length of the key plays a part.
inline const VariantRecord *find_variant(const VariantRecord *const *key_groups, const char *identity) noexcept
{
    for (const VariantRecord *const *head = key_groups; *head != nullptr; ++head) {
        if (std::strstr(identity, (*head)->MatchKey) != nullptr) {
            return *head;
        }
    }
    return nullptr;
}

// Selects into current, which only ever goes from null to a row of key_groups:
// when current is already set, identity is not looked at.  When threads race,
// the first row stored wins and the others change nothing.  A null identity
// selects nothing.  Returns 1 if current is set when the call returns,
// else 0.
int select_variant(std::atomic<const VariantRecord *> &current, const VariantRecord *const *key_groups,
                   const char *identity) noexcept;

// The module's selection, made from VariantTable; null while unselected.
int select_current_variant(const char *identity) noexcept;
const VariantRecord *current_variant() noexcept;

// One field of the selected row, or the unselected result: -1 and null.
int current_field(int VariantRecord::*field) noexcept;
const char *current_field(const char *VariantRecord::*field) noexcept;

}  // namespace kivvm

#endif
