// SPDX-License-Identifier: MIT
// The exported interface, as a host sees it: every case loads the library
// afresh and resolves each export by name.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "loaded_library.h"

namespace {

std::vector<std::string> to_strings(char **list, int count)
{
    return list == nullptr ? std::vector<std::string>{} : std::vector<std::string>(list, list + count);
}

// Whether address lies in memory this process may not write.
bool is_read_only(const void *address)
{
#ifdef _WIN32
    MEMORY_BASIC_INFORMATION info;
    return VirtualQuery(address, &info, sizeof info) == sizeof info &&
           (info.Protect == PAGE_READONLY || info.Protect == PAGE_EXECUTE_READ);
#else
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long low = 0;
        unsigned long long high = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%llx-%llx %4s", &low, &high, permissions) == 3 && at >= low && at < high) {
            return permissions[1] != 'w';
        }
    }
    return false;
#endif
}

// ---- Before any selection --------------------------------------------------

using Unselected = FreshLibrary;

TEST_F(Unselected, IdentityQueriesGiveMinusOneAndNull)
{
    EXPECT_EQ(kivvm.KIVVMGetToolID(), -1);
    EXPECT_EQ(kivvm.KIVVMGetSubToolID(), -1);
    EXPECT_EQ(kivvm.KIVVMGetToolName(), nullptr);
    EXPECT_EQ(kivvm.KIVVMGetSubToolName(), nullptr);
    EXPECT_EQ(kivvm.KIVVMGetToolExpandedName(), nullptr);
    EXPECT_EQ(kivvm.KIVVMGetRHOSetupLocation(), nullptr);
    EXPECT_EQ(kivvm.KIVVMGetZEFSectionName(), nullptr);
}

TEST_F(Unselected, IdentitiesWithoutAKeySelectNothingUntilOneHasAKey)
{
    // Keys match case-sensitively, anywhere in the string.
    for (const char *identity : {"", "no key here", "FARUNBASTION", "Farun", "ORU", "Wex", "fa-run"}) {
        EXPECT_EQ(kivvm.KIVVMInit(identity), 0) << identity;
        EXPECT_EQ(kivvm.KIVVMGetToolID(), -1) << identity;
    }
    EXPECT_EQ(kivvm.KIVVMInit(nullptr), 0);
    EXPECT_EQ(kivvm.KIVVMGetToolName(), nullptr);
    EXPECT_EQ(kivvm.KIVVMInit("host.wex.exe"), 1);
    EXPECT_EQ(kivvm.KIVVMGetToolID(), 1);
}

TEST_F(Unselected, DerivedNamesGiveFallbacksThatOutliveALaterSelection)
{
    const char *menu = kivvm.KIVVMGetMenuFile();
    const char *toolbar = kivvm.KIVVMGetTooBarFile();
    const char *splash = kivvm.KIVVMGetSplashScreenName();
    const char *help = kivvm.KIVVMGetHelpFileTagFile();
    EXPECT_STREQ(menu, "kiv/kivMenus.txt");
    EXPECT_STREQ(toolbar, "kiv/kivCustomizeTB.txt");
    EXPECT_STREQ(splash, "IDB_SPLASH_ORU");
    EXPECT_STREQ(help, "oru_ug");

    ASSERT_EQ(kivvm.KIVVMInit("farunbastion"), 1);
    EXPECT_EQ(kivvm.KIVVMGetMenuFile(), menu);
    EXPECT_EQ(kivvm.KIVVMGetTooBarFile(), toolbar);
    EXPECT_EQ(kivvm.KIVVMGetSplashScreenName(), splash);
    EXPECT_EQ(kivvm.KIVVMGetHelpFileTagFile(), help);
    EXPECT_STREQ(toolbar, "kiv/kivCustomizeTB.txt");
    EXPECT_STREQ(splash, "IDB_SPLASH_ORU");
    EXPECT_STREQ(help, "oru_ug");
}

TEST_F(Unselected, SetupPathsGiveZeroAndStoreNull)
{
    char *sentinel[1] = {nullptr};
    char **list = sentinel;
    EXPECT_EQ(kivvm.KIVVMGetSetupPaths(&list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(kivvm.KIVVMGetSetupPaths(nullptr), 0);
    kivvm.KIVVMFreeSetupPaths(nullptr, 0);  // releasing "no list" is harmless
}

// ---- Selection and identity ---------------------------------------------

using Selection = FreshLibrary;

TEST_F(Selection, EachKeyGivesItsFirstRowsWholeIdentity)
{
    // The first row of each key's group; all four carry the same fields.
    for (const char *identity : {"C:/tools/farunbastion/host.exe", "farun", "oru", "wex"}) {
        ASSERT_NO_FATAL_FAILURE(reload());
        ASSERT_EQ(kivvm.KIVVMInit(identity), 1) << identity;
        EXPECT_EQ(kivvm.KIVVMGetToolID(), 1) << identity;
        EXPECT_STREQ(kivvm.KIVVMGetToolName(), "wex") << identity;
        EXPECT_EQ(kivvm.KIVVMGetSubToolID(), 0) << identity;
        EXPECT_STREQ(kivvm.KIVVMGetSubToolName(), "oru620") << identity;
        EXPECT_STREQ(kivvm.KIVVMGetToolExpandedName(), "Quorin Frame Planner Premier - Wiring Explorer") << identity;
        EXPECT_STREQ(kivvm.KIVVMGetRHOSetupLocation(), "kiv") << identity;
        EXPECT_STREQ(kivvm.KIVVMGetZEFSectionName(), "FARUNBASTION") << identity;
        char **list = nullptr;
        const int count = kivvm.KIVVMGetSetupPaths(&list);
        EXPECT_EQ(to_strings(list, count), std::vector<std::string>{"kiv"}) << identity;
        kivvm.KIVVMFreeSetupPaths(list, count);
    }
}

TEST_F(Selection, IsStickyAndStringsKeepTheirAddresses)
{
    ASSERT_EQ(kivvm.KIVVMInit("oru"), 1);
    const char *name = kivvm.KIVVMGetToolExpandedName();
    const char *section = kivvm.KIVVMGetZEFSectionName();
    for (const char *identity : {"", "nothing", "farunbastion", "wex"}) {
        EXPECT_EQ(kivvm.KIVVMInit(identity), 1) << identity;
    }
    EXPECT_EQ(kivvm.KIVVMInit(nullptr), 1);
    EXPECT_EQ(kivvm.KIVVMGetToolExpandedName(), name);
    EXPECT_EQ(kivvm.KIVVMGetZEFSectionName(), section);
    EXPECT_EQ(kivvm.KIVVMGetSubToolID(), 0);
}

// ---- Derived names --------------------------------------------------------

using DerivedNames = FreshLibrary;

TEST_F(DerivedNames, AreBuiltFromTheSelectedRowOnceAndKept)
{
    ASSERT_EQ(kivvm.KIVVMInit("wex"), 1);
    const char *menu = kivvm.KIVVMGetMenuFile();
    EXPECT_STREQ(menu, "kiv/kivMenus.txt");
    EXPECT_STREQ(kivvm.KIVVMGetTooBarFile(), "kiv/kivCustomizeTBNEW.txt");
    EXPECT_STREQ(kivvm.KIVVMGetSplashScreenName(), "IDB_SPLASH_wex");
    EXPECT_STREQ(kivvm.KIVVMGetHelpFileTagFile(), "wex_ug");
    EXPECT_EQ(kivvm.KIVVMGetMenuFile(), menu);
    EXPECT_STREQ(menu, "kiv/kivMenus.txt");
}

TEST_F(DerivedNames, AreConstantDataTheLibraryNeverWrites)
{
    // Two fallbacks settled before the selection, two names built after it.
    const char *names[] = {kivvm.KIVVMGetMenuFile(), kivvm.KIVVMGetTooBarFile(), nullptr, nullptr};
    ASSERT_EQ(kivvm.KIVVMInit("oru"), 1);
    names[2] = kivvm.KIVVMGetSplashScreenName();
    names[3] = kivvm.KIVVMGetHelpFileTagFile();
    for (const char *name : names) {
        EXPECT_TRUE(is_read_only(name)) << name;
    }
}

TEST_F(DerivedNames, EachNameSettlesOnItsOwn)
{
    EXPECT_STREQ(kivvm.KIVVMGetTooBarFile(), "kiv/kivCustomizeTB.txt");
    ASSERT_EQ(kivvm.KIVVMInit("farun"), 1);
    EXPECT_STREQ(kivvm.KIVVMGetSplashScreenName(), "IDB_SPLASH_wex");
    EXPECT_STREQ(kivvm.KIVVMGetTooBarFile(), "kiv/kivCustomizeTB.txt");
    EXPECT_STREQ(kivvm.KIVVMGetHelpFileTagFile(), "wex_ug");
}

// ---- Setup paths ----------------------------------------------------------

using SetupPaths = FreshLibrary;

TEST_F(SetupPaths, EachCallGivesAnIndependentListTheCallerReleases)
{
    ASSERT_EQ(kivvm.KIVVMInit("farunbastion"), 1);
    char **first = nullptr;
    char **second = nullptr;
    ASSERT_EQ(kivvm.KIVVMGetSetupPaths(&first), 1);
    ASSERT_EQ(kivvm.KIVVMGetSetupPaths(&second), 1);
    EXPECT_NE(first, second);
    EXPECT_NE(first[0], second[0]);
    EXPECT_EQ(to_strings(first, 1), std::vector<std::string>{"kiv"});

    // Each path owns a 128-byte buffer (memory checkers catch a shorter one).
    std::memset(first[0], 'x', 127);
    kivvm.KIVVMFreeSetupPaths(first, 1);
    EXPECT_EQ(to_strings(second, 1), std::vector<std::string>{"kiv"});

#ifdef _WIN32
    // This host's C runtime need not be the DLL's (the heap hosts release
    // lists with their own runtime).
    kivvm.KIVVMFreeSetupPaths(second, 1);
#else
    // A C++ host may release with delete[] instead.
    delete[] second[0];
    delete[] second;
#endif
}

// ---- Threads --------------------------------------------------------------

using Threads = FreshLibrary;

// What one thread saw from its first calls.
struct FirstCalls {
    int init = -1;
    int tool_id = 0;
    const char *names[4] = {};
    std::vector<std::string> paths;
};

TEST_F(Threads, RacingFirstCallsAgreeOnOneSelectionAndOneTextPerName)
{
    const char *const identities[] = {"farunbastion", "none", "xx-farun", "wex", "", "oru.exe"};
    constexpr int kThreads = 16;
    constexpr int kLoads = 50;
    for (int load = 0; load < kLoads; ++load) {
        ASSERT_NO_FATAL_FAILURE(reload());
        std::vector<FirstCalls> seen(kThreads);
        std::atomic<int> waiting{kThreads};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                FirstCalls &mine = seen[t];
                waiting.fetch_sub(1);
                while (waiting.load() > 0) {
                    std::this_thread::yield();
                }
                mine.init = kivvm.KIVVMInit(identities[t % 6]);
                mine.tool_id = kivvm.KIVVMGetToolID();
                // Each thread asks for the names in its own order.
                const char *(*const name_queries[4])() = {kivvm.KIVVMGetMenuFile, kivvm.KIVVMGetTooBarFile,
                                                         kivvm.KIVVMGetSplashScreenName,
                                                         kivvm.KIVVMGetHelpFileTagFile};
                for (int n = 0; n < 4; ++n) {
                    const int which = (n + t) % 4;
                    mine.names[which] = name_queries[which]();
                }
                char **list = nullptr;
                const int count = kivvm.KIVVMGetSetupPaths(&list);
                mine.paths = to_strings(list, count);
                kivvm.KIVVMFreeSetupPaths(list, count);
            });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }

        const std::set<std::string> allowed[4] = {{"kiv/kivMenus.txt"},
                                                  {"kiv/kivCustomizeTB.txt", "kiv/kivCustomizeTBNEW.txt"},
                                                  {"IDB_SPLASH_ORU", "IDB_SPLASH_wex"},
                                                  {"oru_ug", "wex_ug"}};
        for (int t = 0; t < kThreads; ++t) {
            const bool has_key = std::strcmp(identities[t % 6], "none") != 0 && identities[t % 6][0] != '\0';
            if (has_key) {
                EXPECT_EQ(seen[t].init, 1) << "thread " << t;
            }
            // A thread that was told "selected" sees the selection.
            if (seen[t].init == 1) {
                EXPECT_EQ(seen[t].tool_id, 1);
                EXPECT_EQ(seen[t].paths, std::vector<std::string>{"kiv"});
            }
            for (int n = 0; n < 4; ++n) {
                EXPECT_EQ(seen[t].names[n], seen[0].names[n]) << "thread " << t << " name " << n;
                EXPECT_EQ(allowed[n].count(seen[t].names[n]), 1U) << seen[t].names[n];
            }
        }
        EXPECT_EQ(kivvm.KIVVMGetToolID(), 1);
    }
}

// ---- Module lifecycle -----------------------------------------------------

using Lifecycle = FreshLibrary;

TEST_F(Lifecycle, ReloadingStartsUnselectedWithNoNameSettled)
{
    ASSERT_EQ(kivvm.KIVVMInit("farunbastion"), 1);
    EXPECT_STREQ(kivvm.KIVVMGetTooBarFile(), "kiv/kivCustomizeTBNEW.txt");
    ASSERT_NO_FATAL_FAILURE(reload());
    EXPECT_EQ(kivvm.KIVVMGetToolID(), -1);
    EXPECT_EQ(kivvm.KIVVMGetToolName(), nullptr);
    EXPECT_STREQ(kivvm.KIVVMGetTooBarFile(), "kiv/kivCustomizeTB.txt");
    char **list = nullptr;
    EXPECT_EQ(kivvm.KIVVMGetSetupPaths(&list), 0);
}

}  // namespace
