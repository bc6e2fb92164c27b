// SPDX-License-Identifier: MIT
// The module-wide state that every exported function shares: the selection
// and the four derived names.  All of it is constant-initialised, so a fresh
// load of the module starts unselected with every name unsettled, and no
// code runs at load.
#ifndef KIVVM_MODULE_H
#define KIVVM_MODULE_H

#include <atomic>

#include "derived_names.h"
#include "selection.h"
#include "variant_table.h"

namespace kivvm {

// The selected row of VariantTable, or kNoVariant: moved once, by KIVVMInit.
inline Selection CurrentVariant{&kNoVariant};

inline CachedName<kMenuFile> MenuFile;
inline CachedName<kToolbarFile> ToolbarFile;
inline CachedName<kSplashName> SplashName;
inline CachedName<kHelpTag> HelpTag;

}  // namespace kivvm

#endif
