// SPDX-License-Identifier: MIT
// Fuzz target: the library's results against a model simple enough to be
// obviously right.  The input is read as lines: the first line is a
// comma-separated list of keys for a table of the fuzzer's own, every later
// line an identifying string; the whole input also serves as one identity
// and as one ':'-joined setup path string.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "derived_names.h"
#include "kivvariantmanager.h"
#include "selection.h"
#include "setup_paths.h"
#include "variant_table.h"

namespace {

using kivvm::VariantRecord;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "result differs from the model: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> cut(const std::string &s, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// ---- The model --------------------------------------------------------------

// The first row, in table order, whose key occurs in the identity.
const VariantRecord *model_find(const VariantRecord *table, const std::string &identity)
{
    for (const VariantRecord *row = table; row->ToolID != -1; ++row) {
        if (identity.find(row->MatchKey) != std::string::npos) {
            return row;
        }
    }
    return nullptr;
}

// The paths between the colons, last first; nothing when the string or one
// of its paths is too long for its buffer.
std::vector<std::string> model_split(const std::string &joined)
{
    std::vector<std::string> paths = cut(joined, ':');
    bool fits = joined.size() < kivvm::kSetupPathsCapacity;
    for (const std::string &path : paths) {
        fits = fits && path.size() < kivvm::kPathBufferSize;
    }
    return fits ? std::vector<std::string>(paths.rbegin(), paths.rend()) : std::vector<std::string>{};
}

std::string model_name(int which, const VariantRecord *row)
{
    static const char *const fallbacks[] = {"kiv/kivMenus.txt", "kiv/kivCustomizeTB.txt", "IDB_SPLASH_ORU",
                                            "oru_ug"};
    if (row == nullptr) {
        return fallbacks[which];
    }
    const std::string location = row->RHOSetupLocation;
    const std::string tool = row->ToolName;
    const std::string built[] = {location + "/kivMenus.txt", location + "/kivCustomizeTBNEW.txt",
                                 "IDB_SPLASH_" + tool, tool + "_ug"};
    return built[which];
}

// ---- Checks -----------------------------------------------------------------

template <typename Get>
void check_list(Get get, const std::vector<std::string> &expected, void (*release)(char **, int))
{
    char **list = nullptr;
    const int count = get(&list);
    check(count == static_cast<int>(expected.size()), "number of setup paths");
    check((count == 0) == (list == nullptr), "list stored only on success");
    for (int i = 0; i < count; ++i) {
        check(expected[i] == list[i], "setup path");
    }
    release(list, count);
}

void check_pure(const std::string &whole, const std::vector<std::string> &lines)
{
    check(kivvm::find_variant(kivvm::VariantKeyGroups, whole.c_str()) == model_find(kivvm::VariantTable, whole),
          "selection in the compiled-in table");
    check_list([&](char ***out) { return kivvm::split_setup_paths(whole.c_str(), out); }, model_split(whole),
               kivvm::free_setup_paths);

    // A table of the fuzzer's keys, overlaps, repeats and empty keys included.
    std::vector<std::string> keys = cut(lines[0], ',');
    keys.resize(std::min<std::size_t>(keys.size(), 8));
    std::vector<VariantRecord> table;
    for (const std::string &key : keys) {
        table.push_back({key.c_str(), 1, "t", "s", 0, "l", "loc", "p", "S"});
    }
    table.push_back({"", -1, "", "", -1, "", "", "", ""});
    std::vector<const VariantRecord *> groups(table.size());
    kivvm::collect_key_groups(table.data(), groups.data());

    // A fresh module state of our own: sticky selection, names settled by
    // their first call.
    kivvm::Selection current{&kivvm::kNoVariant};
    const VariantRecord *selected = nullptr;
    kivvm::SettledName<kivvm::kMenuFile> menu;
    kivvm::SettledName<kivvm::kToolbarFile> toolbar;
    kivvm::SettledName<kivvm::kSplashName> splash;
    kivvm::SettledName<kivvm::kHelpTag> help;
    const auto name = [&](int which) {
        switch (which) {
        case 0: return menu.get(current);
        case 1: return toolbar.get(current);
        case 2: return splash.get(current);
        default: return help.get(current);
        }
    };
    std::string settled[4];
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string &identity = lines[i];
        check(kivvm::find_variant(groups.data(), identity.c_str()) == model_find(table.data(), identity),
              "selection in the fuzzer's table");

        if (selected == nullptr) {
            selected = model_find(kivvm::VariantTable, identity);
        }
        check(kivvm::select_variant(current, kivvm::VariantKeyGroups, identity.c_str()) == (selected ? 1 : 0),
              "selection result");
        check(kivvm::selected_row(current) == selected, "sticky selection");

        const int which = static_cast<int>(i % 4);
        if (settled[which].empty()) {
            settled[which] = model_name(which, selected);
        }
        check(settled[which] == name(which), "derived name");

        check_list([&](char ***out) { return kivvm::setup_paths_of(kivvm::selected_row(current), out); },
                   selected ? model_split(selected->SetupPaths) : std::vector<std::string>{},
                   kivvm::free_setup_paths);
    }
}

// The loaded library keeps its state from one input to the next, so only
// what holds after any history is checked, and a failure here may need the
// inputs before it to reproduce (the replayer runs inputs in name order).
void check_exported(const std::vector<std::string> &lines)
{
    static const char *(*const names[])() = {KIVVMGetMenuFile, KIVVMGetTooBarFile, KIVVMGetSplashScreenName,
                                            KIVVMGetHelpFileTagFile};
    static std::string settled[4];
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const bool was_selected = KIVVMGetToolID() != -1;
        const VariantRecord *match = model_find(kivvm::VariantTable, lines[i]);
        const int selected = KIVVMInit(lines[i].c_str());
        check(selected == (was_selected || match != nullptr ? 1 : 0), "KIVVMInit");
        check((KIVVMGetToolID() != -1) == (selected == 1), "KIVVMGetToolID");
        check((KIVVMGetZEFSectionName() != nullptr) == (selected == 1), "KIVVMGetZEFSectionName");

        const int which = static_cast<int>(i % 4);
        if (settled[which].empty()) {
            settled[which] = names[which]();
        }
        check(settled[which] == names[which](), "derived name settled by its first call");
        check_list(KIVVMGetSetupPaths, selected ? std::vector<std::string>{"kiv"} : std::vector<std::string>{},
                   KIVVMFreeSetupPaths);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Strings cross the interface NUL-terminated: the input ends at its first NUL.
    const char *text = reinterpret_cast<const char *>(data);
    const std::string whole(text, strnlen(text, size));
    const std::vector<std::string> lines = cut(whole, '\n');
    check_pure(whole, lines);
    check_exported(lines);
    return 0;
}
