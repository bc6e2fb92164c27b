// SPDX-License-Identifier: MIT
// The exported C interface: each function hands over to the concern that
// implements it.  Nothing here keeps state or makes decisions.
#include "kivvariantmanager.h"

#include "derived_names.h"
#include "selection.h"
#include "setup_paths.h"

using kivvm::DerivedName;
using kivvm::VariantRecord;

extern "C" {

int KIVVM_CALL KIVVMInit(const char *identity) KIVVM_NOEXCEPT
{
    return kivvm::select_current_variant(identity);
}

int KIVVM_CALL KIVVMGetToolID(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::ToolID);
}

const char *KIVVM_CALL KIVVMGetToolName(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::ToolName);
}

int KIVVM_CALL KIVVMGetSubToolID(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::SubToolID);
}

const char *KIVVM_CALL KIVVMGetSubToolName(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::SubToolName);
}

const char *KIVVM_CALL KIVVMGetToolExpandedName(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::ToolExpandedName);
}

const char *KIVVM_CALL KIVVMGetRHOSetupLocation(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::RHOSetupLocation);
}

const char *KIVVM_CALL KIVVMGetZEFSectionName(void) KIVVM_NOEXCEPT
{
    return kivvm::current_field(&VariantRecord::ZEFSectionName);
}

const char *KIVVM_CALL KIVVMGetMenuFile(void) KIVVM_NOEXCEPT
{
    return kivvm::derived_name(DerivedName::MenuFile);
}

const char *KIVVM_CALL KIVVMGetTooBarFile(void) KIVVM_NOEXCEPT
{
    return kivvm::derived_name(DerivedName::ToolbarFile);
}

const char *KIVVM_CALL KIVVMGetSplashScreenName(void) KIVVM_NOEXCEPT
{
    return kivvm::derived_name(DerivedName::SplashName);
}

const char *KIVVM_CALL KIVVMGetHelpFileTagFile(void) KIVVM_NOEXCEPT
{
    return kivvm::derived_name(DerivedName::HelpTag);
}

int KIVVM_CALL KIVVMGetSetupPaths(char ***out) KIVVM_NOEXCEPT
{
    return kivvm::setup_paths_of(kivvm::current_variant(), out);
}

void KIVVM_CALL KIVVMFreeSetupPaths(char **paths, int count) KIVVM_NOEXCEPT
{
    kivvm::free_setup_paths(paths, count);
}

}  // extern "C"
