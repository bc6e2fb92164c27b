// SPDX-License-Identifier: MIT
// kivvm check-host as pure functions: the PE reader on the seed images and
// every prefix of them, and the verdict on images and facts of the tests' own.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_check.h"
#include "pe_imports.h"

namespace {

using kivvm_tool::check_host;
using kivvm_tool::HostCheck;
using kivvm_tool::HostFacts;
using kivvm_tool::PeImage;
using kivvm_tool::PeModule;

// The tests run in fuzz/pe-corpus.
std::vector<unsigned char> seed(const std::string &name)
{
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(PeReader, ReadsImportsDelayLoadsAndOrdinals)
{
    PeImage image;
    std::vector<unsigned char> bytes = seed("x64-ucrt-delay-loaded.exe");
    ASSERT_EQ(kivvm_tool::read_pe_imports(bytes.data(), bytes.size(), image), "");
    EXPECT_EQ(image.machine, 0x8664);
    const PeModule &ours = image.modules.back();
    EXPECT_EQ(ours.dll, "kivvariantmanager.dll");
    EXPECT_TRUE(ours.delay_loaded);
    ASSERT_EQ(ours.imports.size(), 3U);
    EXPECT_EQ(ours.imports[0].name, "KIVVMFreeSetupPaths");

    bytes = seed("x86-msvcr80-misspelled-and-ordinal.exe");
    ASSERT_EQ(kivvm_tool::read_pe_imports(bytes.data(), bytes.size(), image), "");
    EXPECT_EQ(image.machine, 0x14c);
    bool by_ordinal = false;
    for (const PeModule &module : image.modules) {
        for (const kivvm_tool::PeImport &import : module.imports) {
            by_ordinal = by_ordinal || (import.name.empty() && import.ordinal == 1);
        }
    }
    EXPECT_TRUE(by_ordinal);
}

// Cut anywhere, an image is refused with a reason, or read (when what was
// cut off holds nothing the reader needs); never read past its end.
TEST(PeReader, EveryPrefixIsRefusedOrRead)
{
    for (const char *name : {"x86-msvcr80-host.exe", "x64-ucrt-delay-loaded.exe"}) {
        const std::vector<unsigned char> bytes = seed(name);
        ASSERT_FALSE(bytes.empty()) << name;
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            const std::vector<unsigned char> prefix(bytes.begin(), bytes.begin() + static_cast<long>(size));
            PeImage image;
            const std::string error = kivvm_tool::read_pe_imports(prefix.data(), prefix.size(), image);
            EXPECT_TRUE(error.empty() || image.modules.empty()) << name << " cut at " << size;
            if (size < 0x200) {
                EXPECT_NE(error, "") << name << " cut at " << size;
            }
        }
    }
}

// As the loader does, the reader stops at a descriptor without an address
// table: the host whose first one is cleared imports nothing.
TEST(PeReader, StopsAtADescriptorWithoutAnAddressTable)
{
    const std::vector<unsigned char> bytes = seed("cleared-address-table");
    PeImage image;
    ASSERT_EQ(kivvm_tool::read_pe_imports(bytes.data(), bytes.size(), image), "");
    EXPECT_EQ(image.machine, 0x14c);
    EXPECT_TRUE(image.modules.empty());
}

const HostFacts kFacts = {
    "kivvariantmanager.dll",
    {"KIVVMInit", "KIVVMGetSetupPaths", "KIVVMFreeSetupPaths", "KIVVMGetTooBarFile"},
    {{"x86", 0x14c}, {"x64", 0x8664}},
    {{"msvcr80", {"msvcr80.dll"}}, {"ucrt", {"ucrtbase.dll", "api-ms-win-crt-*.dll"}}, {"msvcrt", {"msvcrt.dll"}}},
    {{"w86", "x86", "msvcr80", "a.zip"}, {"w64", "x64", "ucrt", "b.zip"}, {"w86-ucrt", "x86", "ucrt", "c.zip"}},
};

PeModule named(const char *dll, std::vector<std::string> names, bool delay_loaded = false)
{
    PeModule module{dll, delay_loaded, {}};
    for (std::string &name : names) {
        module.imports.push_back({std::move(name), 0});
    }
    return module;
}

TEST(CheckHost, TheRuntimeChoosesTheBuild)
{
    struct Case {
        std::uint16_t machine;
        const char *runtime_dll;
        const char *runtime;
        const char *preset;
    };
    for (const Case &c : {Case{0x14c, "MSVCR80.dll", "msvcr80", "w86"},
                          Case{0x14c, "API-MS-WIN-CRT-HEAP-L1-1-0.dll", "ucrt", "w86-ucrt"},
                          Case{0x8664, "ucrtbase.dll", "ucrt", "w64"},
                          Case{0x8664, "ucrtbased.dll", "ucrtbased.dll", "w64"}}) {
        const HostCheck check = check_host(
            {c.machine, {named(c.runtime_dll, {"free"}), named("KivVariantManager", {"KIVVMInit"})}}, kFacts);
        EXPECT_EQ(check.runtime, c.runtime) << c.runtime_dll;
        EXPECT_EQ(check.build.preset, c.preset) << c.runtime_dll;
        EXPECT_TRUE(check.reasons.empty()) << c.runtime_dll;
        EXPECT_TRUE(check.imports_library);
    }
}

TEST(CheckHost, RefusesNamesWeDoNotExportAndOrdinals)
{
    PeModule ours = named("kivvariantmanager.dll", {"KIVVMGetToolBarFile", "KIVVMInit", "Unrelated"}, true);
    ours.imports.push_back({"", 7});
    const HostCheck check = check_host({0x14c, {named("msvcr80.dll", {"free"}), ours}}, kFacts);
    ASSERT_EQ(check.imports.size(), 4U);
    EXPECT_EQ(check.imports[0].nearest, "KIVVMGetTooBarFile");
    EXPECT_TRUE(check.imports[1].exported);
    EXPECT_TRUE(check.imports[1].delay_loaded);
    EXPECT_EQ(check.imports[2].nearest, "");
    ASSERT_EQ(check.reasons.size(), 3U);
    EXPECT_NE(check.reasons[0].find("KIVVMGetToolBarFile"), std::string::npos);
    EXPECT_NE(check.reasons[2].find("ordinal 7"), std::string::npos);
}

// On a runtime no build shares, a host is safe only if it never frees the
// list with its own runtime: its imports must show it.
TEST(CheckHost, ElsewhereOnlyWithKIVVMFreeSetupPaths)
{
    const auto check = [](std::vector<PeModule> modules) { return check_host({0x8664, std::move(modules)}, kFacts); };
    const PeModule runtime = named("MSVCR90.dll", {"free"});
    HostCheck releases = check({runtime, named("kivvariantmanager.dll", {"KIVVMGetSetupPaths", "KIVVMFreeSetupPaths"})});
    EXPECT_EQ(releases.runtime, "msvcr90.dll");
    EXPECT_TRUE(releases.reasons.empty());
    EXPECT_EQ(releases.build.preset, "w64");
    EXPECT_FALSE(check({runtime, named("kivvariantmanager.dll", {"KIVVMGetSetupPaths"})}).reasons.empty());
    EXPECT_TRUE(check({runtime, named("kivvariantmanager.dll", {"KIVVMInit"})}).reasons.empty());
    const HostCheck unknown = check({named("kernel32.dll", {"LoadLibraryA"})});
    EXPECT_EQ(unknown.runtime, "none");
    EXPECT_FALSE(unknown.reasons.empty());
    EXPECT_FALSE(unknown.notes.empty());
}

TEST(CheckHost, RefusesAnArchitectureWeDoNotBuild)
{
    const HostCheck check = check_host({0xaa64, {named("ucrtbase.dll", {"free"})}}, kFacts);
    EXPECT_EQ(check.architecture, "machine 0xaa64");
    EXPECT_FALSE(check.has_build);
    EXPECT_FALSE(check.reasons.empty());
}

}  // namespace
