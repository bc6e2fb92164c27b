// SPDX-License-Identifier: MIT
// Loads the library by path, as a host that resolves every export by name
// does, so that each test case can start from a freshly loaded module.
#ifndef KIVVM_TESTS_LOADED_LIBRARY_H
#define KIVVM_TESTS_LOADED_LIBRARY_H

#include <gtest/gtest.h>

#include "kivvariantmanager.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// The exported interface, one entry per export.
#define KIVVM_FOR_EACH_EXPORT(X)                                                            \
    X(KIVVMInit) X(KIVVMGetToolID) X(KIVVMGetToolName) X(KIVVMGetSubToolID)                 \
    X(KIVVMGetSubToolName) X(KIVVMGetToolExpandedName) X(KIVVMGetRHOSetupLocation)          \
    X(KIVVMGetZEFSectionName) X(KIVVMGetMenuFile) X(KIVVMGetTooBarFile)                     \
    X(KIVVMGetSplashScreenName) X(KIVVMGetHelpFileTagFile) X(KIVVMGetSetupPaths)            \
    X(KIVVMFreeSetupPaths)

// Pointers to every export of one loaded copy of the library.
struct Exports {
#define KIVVM_DECLARE_POINTER(name) decltype(&::name) name = nullptr;
    KIVVM_FOR_EACH_EXPORT(KIVVM_DECLARE_POINTER)
#undef KIVVM_DECLARE_POINTER
};

class LoadedLibrary {
public:
#ifdef _WIN32
    using Handle = HMODULE;
    static bool is_loaded() { return GetModuleHandleA(KIVVM_LIBRARY_PATH) != nullptr; }
    static Handle open() { return LoadLibraryA(KIVVM_LIBRARY_PATH); }
    static void *symbol(Handle h, const char *name)
    {
        return reinterpret_cast<void *>(GetProcAddress(h, name));
    }
    static void close(Handle h) { FreeLibrary(h); }
#else
    using Handle = void *;
    static bool is_loaded()
    {
        Handle h = dlopen(KIVVM_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (h != nullptr) {
            dlclose(h);
        }
        return h != nullptr;
    }
    static Handle open() { return dlopen(KIVVM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
    static void *symbol(Handle h, const char *name) { return dlsym(h, name); }
    static void close(Handle h) { dlclose(h); }
#endif
};

// Each case gets a library loaded just for it, and fails loudly if another
// case left one loaded (its selection would leak into this one) or if the
// library cannot be unloaded (then the next load would not start fresh).
class FreshLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(LoadedLibrary::is_loaded())
            << "the library is already loaded: this case would see another case's state";
        ASSERT_NO_FATAL_FAILURE(load());
    }

    void TearDown() override
    {
        unload();
        EXPECT_FALSE(LoadedLibrary::is_loaded()) << "the library stays loaded after unload";
    }

    void load()
    {
        handle_ = LoadedLibrary::open();
        ASSERT_NE(handle_, nullptr) << "cannot load " << KIVVM_LIBRARY_PATH;
#define KIVVM_RESOLVE(name)                                                                 \
    kivvm.name = reinterpret_cast<decltype(kivvm.name)>(LoadedLibrary::symbol(handle_, #name)); \
    ASSERT_NE(kivvm.name, nullptr) << "no export named " #name;
        KIVVM_FOR_EACH_EXPORT(KIVVM_RESOLVE)
#undef KIVVM_RESOLVE
    }

    void unload()
    {
        if (handle_ != nullptr) {
            LoadedLibrary::close(handle_);
            handle_ = nullptr;
        }
        kivvm = Exports{};
    }

    void reload()
    {
        unload();
        ASSERT_FALSE(LoadedLibrary::is_loaded()) << "the library stays loaded after unload";
        ASSERT_NO_FATAL_FAILURE(load());
    }

    LoadedLibrary::Handle handle_ = nullptr;
    Exports kivvm;
};

#endif
