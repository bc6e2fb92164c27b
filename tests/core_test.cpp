// SPDX-License-Identifier: MIT
// The library's logic as pure functions, on tables and strings of the
// tests' own as well as on the compiled-in table.  No module state is used.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "derived_names.h"
#include "kivvariantmanager_version.h"
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

// ---- The build-time checks of a table: each rejects the fault it is for ---------

constexpr VariantRecord kGood{"k", 1, "t", "s", 0, "l", "loc", "p", "S"};
constexpr VariantRecord kGoodEnd{"", -1, "", "", -1, "", "", "", ""};

constexpr VariantRecord kGoodTable[] = {kGood, kGood, kGoodEnd};
constexpr VariantRecord kEndInTheMiddle[] = {kGood, kGoodEnd, kGood, kGoodEnd};
constexpr VariantRecord kEndFirst[] = {kGoodEnd, kGood, kGoodEnd};
constexpr VariantRecord kEndTwiceAtTheEnd[] = {kGood, kGoodEnd, kGoodEnd};
constexpr VariantRecord kNoEnd[] = {kGood, kGood};
constexpr VariantRecord kEndWithAKey[] = {kGood, {"x", -1, "", "", -1, "", "", "", ""}};
static_assert(kivvm::only_last_row_is_terminator(kGoodTable));
static_assert(!kivvm::only_last_row_is_terminator(kEndInTheMiddle));
static_assert(!kivvm::only_last_row_is_terminator(kEndFirst));
static_assert(!kivvm::only_last_row_is_terminator(kEndTwiceAtTheEnd));
static_assert(!kivvm::only_last_row_is_terminator(kNoEnd));
static_assert(!kivvm::only_last_row_is_terminator(kEndWithAKey));

constexpr VariantRecord kEmptyName[] = {{"k", 1, "t", "s", 0, "", "loc", "p", "S"}, kGoodEnd};
constexpr VariantRecord kNullSection[] = {{"k", 1, "t", "s", 0, "l", "loc", "p", nullptr}, kGoodEnd};
static_assert(kivvm::every_row_has_its_strings(kGoodTable));
static_assert(!kivvm::every_row_has_its_strings(kEmptyName));
static_assert(!kivvm::every_row_has_its_strings(kNullSection));

constexpr VariantRecord kKeyComesBack[] = {row("a", 0), row("b", 1), row("a", 2), kGoodEnd};
constexpr VariantRecord kKeysTogether[] = {row("a", 0), row("a", 1), row("b", 2), kGoodEnd};
static_assert(!kivvm::rows_sharing_a_key_stand_together(kKeyComesBack));
static_assert(kivvm::rows_sharing_a_key_stand_together(kKeysTogether));

// With "IDB_SPLASH_" in front, a 117-character tool name makes a splash name
// of 128 characters, one more than its limit; with "_ug" behind, a help tag
// of 120.
constexpr char kTool117[] = "ttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttt";
constexpr VariantRecord kTooLongForSplash[] = {{"k", 1, kTool117, "s", 0, "l", "loc", "p", "S"}, kGoodEnd};
constexpr VariantRecord kLongestSplash[] = {{"k", 1, kTool117 + 1, "s", 0, "l", "loc", "p", "S"}, kGoodEnd};
static_assert(sizeof kTool117 == 118);
static_assert(!kivvm::within_limit(kivvm::kSplashName, kTooLongForSplash));
static_assert(kivvm::within_limit(kivvm::kSplashName, kLongestSplash));
static_assert(kivvm::within_limit(kivvm::kHelpTag, kTooLongForSplash));
static_assert(kivvm::within_limit(kivvm::kSplashName, kGoodTable));

constexpr char kPath128[] = "pppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppppp";
constexpr VariantRecord kPathTooLong[] = {{"k", 1, "t", "s", 0, "l", "loc", kPath128, "S"}, kGoodEnd};
static_assert(!kivvm::every_row_splits(kPathTooLong));
static_assert(kivvm::every_row_splits(kGoodTable));

// The version macros agree with the three numbers the build read.
static_assert(KIVVM_VERSION_NUMBER == KIVVM_EXPECTED_VERSION_NUMBER);
static_assert(std::string_view(KIVVM_VERSION_STRING) == KIVVM_EXPECTED_VERSION);

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
    EXPECT_EQ(split(longest.c_str()), Paths({longest}));
    EXPECT_EQ(split((longest + ":b").c_str()), Paths({"b", longest}));
    EXPECT_EQ(split(("a:" + longest + ":b").c_str()), Paths({"b", longest, "a"}));
    EXPECT_EQ(split(("a:" + longest).c_str()), Paths({longest, "a"}));
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

// Each recipe's name built at compile time from every row of a table of the
// tests' own.
constexpr VariantRecord kNamed[] = {{"a", 1, "tl", "s", 0, "l", "setup/dir", "p", "S"},
                                    {"b", 1, "x", "s", 0, "l", "d", "p", "S"},
                                    kGoodEnd};
template <const kivvm::NameRecipe &Recipe>
constexpr auto kNamedNames = kivvm::build_names<kivvm::longest_built_name(Recipe, kNamed) + 1>(Recipe, kNamed);

TEST(DerivedNames, EveryRowsNameIsBuiltFromItsRecipe)
{
    EXPECT_STREQ(kNamedNames<kivvm::kMenuFile>.text[0], "setup/dir/kivMenus.txt");
    EXPECT_STREQ(kNamedNames<kivvm::kMenuFile>.text[1], "d/kivMenus.txt");
    EXPECT_STREQ(kNamedNames<kivvm::kToolbarFile>.text[0], "setup/dir/kivCustomizeTBNEW.txt");
    EXPECT_STREQ(kNamedNames<kivvm::kSplashName>.text[1], "IDB_SPLASH_x");
    EXPECT_STREQ(kNamedNames<kivvm::kHelpTag>.text[0], "tl_ug");
}

TEST(DerivedNames, TheFirstCallSettlesTextAndPointer)
{
    kivvm::SettledName<kivvm::kHelpTag> before;
    kivvm::SettledName<kivvm::kSplashName> after;
    kivvm::Selection selection{&kivvm::kNoVariant};
    const char *fallback = before.get(selection);
    EXPECT_STREQ(fallback, "oru_ug");
    selection = &kivvm::VariantTable[6];
    EXPECT_EQ(before.get(selection), fallback);
    EXPECT_STREQ(after.get(selection), "IDB_SPLASH_wex");
    selection = &kivvm::kNoVariant;
    EXPECT_STREQ(after.get(selection), "IDB_SPLASH_wex");
}

TEST(DerivedNames, ALateFirstCallerGetsTheNamePublishedFirst)
{
    std::atomic<const char *> published{nullptr};
    const char first[] = "first";
    EXPECT_EQ(kivvm::publish_name(published, first), first);
    EXPECT_EQ(kivvm::publish_name(published, "second"), first);
}

}  // namespace
