// SPDX-License-Identifier: MIT
// The module-wide state that every exported function shares: the selection
// and which text each of the four derived names settled on.  All of it is
// constant-initialised, so a fresh load of the module starts unselected with
// every name unsettled, and no code runs at load.
#ifndef KIVVM_MODULE_H
#define KIVVM_MODULE_H

#include <atomic>

#include "derived_names.h"
#include "selection.h"
#include "variant_table.h"

namespace kivvm {

// The selected row of VariantTable, or kNoVariant: moved once, by KIVVMInit.
inline Selection CurrentVariant{&kNoVariant};

inline SettledName<kMenuFile> MenuFile;
inline SettledName<kToolbarFile> ToolbarFile;
inline SettledName<kSplashName> SplashName;
inline SettledName<kHelpTag> HelpTag;

}  // namespace kivvm

#endif
