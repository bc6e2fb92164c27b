// SPDX-License-Identifier: MIT
// The library's logic as pure functions, on tables and strings of the
// tests' own as well as on the compiled-in table.  No module state is used.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "derived_names.h"
#include "selection.h"
#include "setup_paths.h"
#include "variant_table.h"

namespace {

using kivvm::VariantRecord;

constexpr VariantRecord row(const char *key, int sub_tool_id)
{
    return {key, 1, "tool", "sub", sub_tool_id, "long name", "loc", "path", "SECTION"};
}

// The terminator may carry a key; it is never searched for.
constexpr VariantRecord kEnd{"x", -1, "", "", -1, "", "", "", ""};

// The rows selection searches in table.
std::vector<const VariantRecord *> key_groups(const VariantRecord *table)
{
    std::size_t rows = 1;
    while (!kivvm::is_terminator(table[rows - 1])) {
        ++rows;
    }
    std::vector<const VariantRecord *> heads(rows);
    heads.resize(kivvm::collect_key_groups(table, heads.data()) + 1);
    return heads;
}

// Index of the row selection picks in table, -1 for none.
int pick(const VariantRecord *table, const char *identity)
{
    const VariantRecord *found = kivvm::find_variant(key_groups(table).data(), identity);
    return found == nullptr ? -1 : static_cast<int>(found - table);
}

// ---- Selection --------------------------------------------------------------

TEST(Selection, TableOrderAloneDecides)
{
    // "ab" overlaps "abc" and "b"; the position and length of a key in the
    // identity play no part.
    const VariantRecord table[] = {row("ab", 0), row("abc", 1), row("b", 2), row("zz", 3), kEnd};
    EXPECT_EQ(pick(table, "abc"), 0);
    EXPECT_EQ(pick(table, "zz-b-ab"), 0);
    EXPECT_EQ(pick(table, "bzz"), 2);
    EXPECT_EQ(pick(table, "zz"), 3);
    EXPECT_EQ(pick(table, "AB"), -1);
    EXPECT_EQ(pick(table, "x"), -1);
    EXPECT_EQ(pick(table, ""), -1);
}

TEST(Selection, RowsSharingAKeyYieldTheirFirstAndDoNotHideLaterKeys)
{
    // Equal keys count as equal wherever their strings are stored.
    static const char dup1[] = "dup";
    static const char dup2[] = "dup";
    const VariantRecord table[] = {row(dup1, 0), row(dup2, 1), row(dup1, 2), row("other", 3), kEnd};
    EXPECT_EQ(key_groups(table), (std::vector<const VariantRecord *>{&table[0], &table[3], nullptr}));
    EXPECT_EQ(pick(table, "a dup"), 0);
    EXPECT_EQ(pick(table, "other"), 3);
}

TEST(Selection, AnEmptyTableMatchesNothing)
{
    const VariantRecord table[] = {kEnd};
    EXPECT_EQ(pick(table, "x"), -1);
    EXPECT_EQ(pick(table, ""), -1);
}

TEST(Selection, CompiledInTableYieldsTheFirstRowOfEachKeyGroup)
{
    const struct {
        const char *identity;
        int row;
    } cases[] = {
        {"farunbastion", 0}, {"xfarunx", 3},  {"wex farun", 3}, {"farun wex", 3},
        {"oru", 6},          {"wex-oru", 6},  {"wex", 7},       {"FARUNBASTION", -1},
        {"Farun", -1},       {"WEX", -1},     {"", -1},         {"fa run", -1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(pick(kivvm::VariantTable, c.identity), c.row) << c.identity;
    }
    // A scan that finds nothing searches once per distinct key.
    const VariantRecord *const *groups = kivvm::VariantKeyGroups;
    EXPECT_EQ(std::vector<const VariantRecord *>(groups, groups + 5),
              (std::vector<const VariantRecord *>{&kivvm::VariantTable[0], &kivvm::VariantTable[3],
                                                  &kivvm::VariantTable[6], &kivvm::VariantTable[7], nullptr}));
    // Rows 9 and 10 differ only in their long name.
    EXPECT_STREQ(kivvm::VariantTable[9].ToolExpandedName,
                 "Stackweld Logic Planner Premier (legacy) - Wiring Explorer");
    EXPECT_TRUE(kivvm::is_terminator(kivvm::VariantTable[11]));
}

TEST(Selection, IsStickyAndIgnoresANullIdentity)
{
    const VariantRecord table[] = {row("a", 0), row("b", 1), kEnd};
    const auto groups = key_groups(table);
    std::atomic<const VariantRecord *> current{nullptr};
    EXPECT_EQ(kivvm::select_variant(current, groups.data(), nullptr), 0);
    EXPECT_EQ(kivvm::select_variant(current, groups.data(), "zzz"), 0);
    EXPECT_EQ(current.load(), nullptr);
    EXPECT_EQ(kivvm::select_variant(current, groups.data(), "b"), 1);
    EXPECT_EQ(kivvm::select_variant(current, groups.data(), "a"), 1);
    EXPECT_EQ(kivvm::select_variant(current, groups.data(), nullptr), 1);
    EXPECT_EQ(current.load(), &table[1]);
}

TEST(Selection, RacingThreadsAllSeeTheOneRowThatWon)
{
    const VariantRecord table[] = {row("k0", 0), row("k1", 1), row("k2", 2), row("k3", 3), kEnd};
    const auto groups = key_groups(table);
    const char *const identities[] = {"k3", "k1", "-k2-", "k0", "k2", "k1"};
    constexpr int kThreads = 6;
    for (int round = 0; round < 100; ++round) {
        std::atomic<const VariantRecord *> current{nullptr};
        std::atomic<int> waiting{kThreads};
        const VariantRecord *seen[kThreads] = {};
        int results[kThreads] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                waiting.fetch_sub(1);
                while (waiting.load() > 0) {
                    std::this_thread::yield();
                }
                results[t] = kivvm::select_variant(current, groups.data(), identities[t]);
                seen[t] = current.load();
            });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        ASSERT_NE(current.load(), nullptr);
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(results[t], 1);
            EXPECT_EQ(seen[t], current.load());
        }
    }
}

// ---- Setup paths --------------------------------------------------------------

std::vector<std::string> split(const char *joined)
{
    char **list = nullptr;
    const int count = kivvm::split_setup_paths(joined, &list);
    std::vector<std::string> paths(list, list + count);
    if (count == 0) {
        EXPECT_EQ(list, nullptr) << "a failed split stores null";
    }
    kivvm::free_setup_paths(list, count);
    return paths;
}

using Paths = std::vector<std::string>;

TEST(SetupPaths, SplitsAtEveryColonLastPathFirst)
{
    EXPECT_EQ(split("kiv"), Paths({"kiv"}));
    EXPECT_EQ(split("a:b:c"), Paths({"c", "b", "a"}));
    EXPECT_EQ(split("a::b"), Paths({"b", "", "a"}));
    EXPECT_EQ(split(":"), Paths({"", ""}));
    EXPECT_EQ(split(""), Paths({""}));
    EXPECT_EQ(split(":lead"), Paths({"lead", ""}));
    EXPECT_EQ(split("trail:"), Paths({"", "trail"}));
}

TEST(SetupPaths, RefusesWhatWouldNotFitRatherThanCutIt)
{
    const std::string longest(127, 'p');
    EXPECT_EQ(split(("a:" + longest + ":b").c_str()), Paths({"b", longest, "a"}));
    EXPECT_EQ(split(("a:" + longest + "p").c_str()), Paths{});

    // 1023 one-letter paths make 2047 characters: the most that fits.
    std::string joined = "q";
    for (int i = 1; i < 1024; ++i) {
        joined += ":q";
    }
    ASSERT_EQ(joined.size(), 2047U);
    EXPECT_EQ(split(joined.c_str()), Paths(1024, "q"));
    EXPECT_EQ(split((joined + ":").c_str()), Paths{});
}

TEST(SetupPaths, NothingSelectedOrNowhereToStoreGivesZero)
{
    char *sentinel[1] = {nullptr};
    char **list = sentinel;
    EXPECT_EQ(kivvm::setup_paths_of(nullptr, &list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(kivvm::setup_paths_of(&kivvm::VariantTable[0], nullptr), 0);
    kivvm::free_setup_paths(nullptr, 5);
}

TEST(SetupPaths, ReleaseSkipsEntriesTheCallerTookOver)
{
    char **list = nullptr;
    ASSERT_EQ(kivvm::split_setup_paths("kept:freed", &list), 2);
    std::unique_ptr<char[]> kept(list[1]);
    list[1] = nullptr;
    kivvm::free_setup_paths(list, 2);
    EXPECT_STREQ(kept.get(), "kept");
}

// ---- Derived names ------------------------------------------------------------

using kivvm::DerivedName;
using kivvm::recipe_of;

std::string format(DerivedName which, const VariantRecord *source)
{
    char buffer[256];
    kivvm::format_derived_name(recipe_of(which), source, buffer, sizeof buffer);
    return buffer;
}

TEST(DerivedNames, BuiltFromTheRowOrFixedFallbacks)
{
    const VariantRecord source{"k", 1, "tl", "s", 0, "long", "setup/dir", "p", "S"};
    EXPECT_EQ(format(DerivedName::MenuFile, &source), "setup/dir/kivMenus.txt");
    EXPECT_EQ(format(DerivedName::ToolbarFile, &source), "setup/dir/kivCustomizeTBNEW.txt");
    EXPECT_EQ(format(DerivedName::SplashName, &source), "IDB_SPLASH_tl");
    EXPECT_EQ(format(DerivedName::HelpTag, &source), "tl_ug");
    EXPECT_EQ(format(DerivedName::MenuFile, nullptr), "kiv/kivMenus.txt");
    EXPECT_EQ(format(DerivedName::ToolbarFile, nullptr), "kiv/kivCustomizeTB.txt");
    EXPECT_EQ(format(DerivedName::SplashName, nullptr), "IDB_SPLASH_ORU");
    EXPECT_EQ(format(DerivedName::HelpTag, nullptr), "oru_ug");
}

TEST(DerivedNames, NeverWritePastTheBuffer)
{
    const std::string tool(200, 't');
    const VariantRecord source{"k", 1, tool.c_str(), "s", 0, "long", "loc", "p", "S"};
    char buffer[130];
    std::memset(buffer, '#', sizeof buffer);
    const std::size_t needed =
        kivvm::format_derived_name(recipe_of(DerivedName::HelpTag), &source, buffer, 128);
    EXPECT_EQ(needed, 203U);
    EXPECT_EQ(std::string(buffer), std::string(127, 't'));
    EXPECT_EQ(buffer[128], '#');
    EXPECT_EQ(buffer[129], '#');
}

TEST(DerivedNames, FillOnceKeepsTheFirstTextAndPointer)
{
    const VariantRecord first = row("k", 0);
    char buffer[128] = {};
    kivvm::NameSlot slot{{kivvm::NameSlot::kEmpty}, buffer};
    const auto &recipe = recipe_of(DerivedName::HelpTag);
    EXPECT_EQ(kivvm::fill_once(slot, recipe, nullptr), buffer);
    EXPECT_EQ(kivvm::fill_once(slot, recipe, &first), buffer);
    EXPECT_STREQ(buffer, "oru_ug");
}

TEST(DerivedNames, ALateCallerWaitsForTheNameBeingWritten)
{
    char buffer[128] = "half-writ";
    kivvm::NameSlot slot{{kivvm::NameSlot::kFilling}, buffer};
    std::atomic<const char *> got{nullptr};
    std::thread late([&] { got = kivvm::fill_once(slot, recipe_of(DerivedName::HelpTag), nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(got.load(), nullptr) << "returned before the name was complete";
    std::strcpy(buffer, "complete");
    slot.state.store(kivvm::NameSlot::kFilled, std::memory_order_release);
    late.join();
    EXPECT_EQ(got.load(), buffer);
    EXPECT_STREQ(buffer, "complete");
}

}  // namespace
