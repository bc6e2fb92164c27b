// SPDX-License-Identifier: MIT
// The exported C interface: each function hands the module's state to the
// concern that answers, and keeps no state or decisions of its own.  The
// work a settled query does is inlined here: one load of the state it reads.
#include "kivvariantmanager.h"

#include "module.h"
#include "selection.h"
#include "setup_paths.h"

using kivvm::CurrentVariant;
using kivvm::VariantRecord;

namespace {

// One field of the selected row; of kNoVariant, the unselected result.
template <typename T>
T selected_field(T VariantRecord::*field) noexcept
{
    return CurrentVariant.load(std::memory_order_acquire)->*field;
}

}  // namespace

extern "C" {

int KIVVM_CALL KIVVMInit(const char *identity) KIVVM_NOEXCEPT
{
    return kivvm::select_variant(CurrentVariant, kivvm::VariantKeyGroups, identity);
}

int KIVVM_CALL KIVVMGetToolID(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::ToolID);
}

const char *KIVVM_CALL KIVVMGetToolName(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::ToolName);
}

int KIVVM_CALL KIVVMGetSubToolID(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::SubToolID);
}

const char *KIVVM_CALL KIVVMGetSubToolName(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::SubToolName);
}

const char *KIVVM_CALL KIVVMGetToolExpandedName(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::ToolExpandedName);
}

const char *KIVVM_CALL KIVVMGetRHOSetupLocation(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::RHOSetupLocation);
}

const char *KIVVM_CALL KIVVMGetZEFSectionName(void) KIVVM_NOEXCEPT
{
    return selected_field(&VariantRecord::ZEFSectionName);
}

const char *KIVVM_CALL KIVVMGetMenuFile(void) KIVVM_NOEXCEPT
{
    return kivvm::MenuFile.get(CurrentVariant);
}

const char *KIVVM_CALL KIVVMGetTooBarFile(void) KIVVM_NOEXCEPT
{
    return kivvm::ToolbarFile.get(CurrentVariant);
}

const char *KIVVM_CALL KIVVMGetSplashScreenName(void) KIVVM_NOEXCEPT
{
    return kivvm::SplashName.get(CurrentVariant);
}

const char *KIVVM_CALL KIVVMGetHelpFileTagFile(void) KIVVM_NOEXCEPT
{
    return kivvm::HelpTag.get(CurrentVariant);
}

int KIVVM_CALL KIVVMGetSetupPaths(char ***out) KIVVM_NOEXCEPT
{
    return kivvm::setup_paths_of(kivvm::selected_row(CurrentVariant), out);
}

void KIVVM_CALL KIVVMFreeSetupPaths(char **paths, int count) KIVVM_NOEXCEPT
{
    kivvm::free_setup_paths(paths, count);
}

}  // extern "C"
