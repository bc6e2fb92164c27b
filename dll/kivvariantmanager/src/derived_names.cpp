// SPDX-License-Identifier: MIT
#include "derived_names.h"

namespace kivvm {

const char *publish_name(std::atomic<const char *> &published, const char *candidate) noexcept
{
    const char *earlier = nullptr;
    // A failed exchange means another caller published first: its name stays.
    return published.compare_exchange_strong(earlier, candidate, std::memory_order_acq_rel,
                                             std::memory_order_acquire)
               ? candidate
               : earlier;
}

}  // namespace kivvm
