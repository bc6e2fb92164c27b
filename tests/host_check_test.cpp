// SPDX-License-Identifier: MIT
// kivvm check-host as pure functions: the PE reader on the seed images and
// every prefix of them, its string scan, and the verdicts on a file and on a
// process, with images and facts of the tests' own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host_check_output.h"
#include "host_files.h"
#include "usage.h"
#include "pe_image.h"
#include "pe_strings.h"

namespace {

using kivvm_tool::BuildFacts;
using kivvm_tool::check_host;
using kivvm_tool::Fits;
using kivvm_tool::HostCheck;
using kivvm_tool::HostFile;
using kivvm_tool::PeImage;
using kivvm_tool::PeModule;
using kivvm_tool::ProcessCheck;
using kivvm_tool::RuntimeKind;

// The tests run in fuzz/pe-corpus.
std::vector<unsigned char> seed(const std::string &name)
{
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The reader on bytes held in memory.
std::string read_image(const std::vector<unsigned char> &bytes, PeImage &image)
{
    return kivvm_tool::read_pe_image(kivvm_tool::MemoryBytes(bytes.data(), bytes.size()), image);
}

TEST(PeReader, ReadsImportsDelayLoadsAndOrdinals)
{
    PeImage image;
    std::vector<unsigned char> bytes = seed("x64-ucrt-delay-loaded.exe");
    ASSERT_EQ(read_image(bytes, image), "");
    EXPECT_EQ(image.machine, 0x8664);
    const PeModule &ours = image.modules.back();
    EXPECT_EQ(ours.dll, "kivvariantmanager.dll");
    EXPECT_TRUE(ours.delay_loaded);
    ASSERT_EQ(ours.imports.size(), 3U);
    EXPECT_EQ(ours.imports[0].name, "KIVVMFreeSetupPaths");

    bytes = seed("x86-msvcr80-misspelled-and-ordinal.exe");
    ASSERT_EQ(read_image(bytes, image), "");
    EXPECT_EQ(image.machine, 0x14c);
    EXPECT_EQ(image.modules.size(), 2U);  // none left of the image read before
    bool by_ordinal = false;
    for (const PeModule &module : image.modules) {
        for (const kivvm_tool::PeImport &import : module.imports) {
            by_ordinal = by_ordinal || (import.name.empty() && import.ordinal == 1);
        }
    }
    EXPECT_TRUE(by_ordinal);
}

// What the reader makes of bytes: its error, or each module's functions.
// What kivvm reads of bytes: the image, then GNU ld's descriptors where its
// strings hold our DLL's name; each DLL and its functions, or the error.
std::string outcome(const kivvm_tool::ByteSource &bytes)
{
    PeImage image;
    std::string text = kivvm_tool::read_pe_image(bytes, image);
    const kivvm_tool::PeStrings strings =
        text.empty() ? kivvm_tool::scan_strings(bytes, "kivvariantmanager.dll", "KIVVM") : kivvm_tool::PeStrings{};
    text += strings.error;
    for (const std::uint64_t at : strings.dll_name_at) {
        text += text.empty() ? kivvm_tool::add_unlisted_delay_loads(bytes, at, image) : "";
    }
    for (const PeModule &module : image.modules) {
        text += (text.empty() ? "" : "; ") + module.dll +
                (module.unlisted ? " (delay, unlisted):" : module.delay_loaded ? " (delay):" : ":");
        for (const kivvm_tool::PeImport &import : module.imports) {
            text += " " + (import.name.empty() ? "#" + std::to_string(import.ordinal) : import.name);
        }
    }
    return text;
}

std::string outcome(const std::vector<unsigned char> &bytes)
{
    return outcome(kivvm_tool::MemoryBytes(bytes.data(), bytes.size()));
}

// Bytes whose reads fail from the nth on, as a failing disk's do.
class FailingBytes final : public kivvm_tool::ByteSource {
public:
    FailingBytes(const std::vector<unsigned char> &bytes, int reads) : bytes_(bytes), reads_(reads) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, unsigned char *out, std::size_t n) const override
    {
        EXPECT_LE(offset + n, bytes_.size()) << "a read past the end";
        if (reads_-- <= 0) {
            return false;
        }
        std::memcpy(out, bytes_.data() + offset, n);
        return true;
    }
    std::string error() const override { return "Input/output error"; }

private:
    const std::vector<unsigned char> &bytes_;
    mutable int reads_;
};

// Cut anywhere, an image is refused with what was cut (each read's bound is
// where its message starts), or read when what was cut off holds nothing
// the reader needs.
TEST(PeReader, EveryPrefixSaysWhatWasCut)
{
    const std::vector<unsigned char> bytes = seed("x86-msvcr80-host.exe");
    std::string said;
    std::string last;
    for (std::size_t size = 0; size <= bytes.size(); ++size) {
        const std::string now = outcome({bytes.begin(), bytes.begin() + static_cast<long>(size)});
        if (now != last) {
            said += std::to_string(size) + " " + now + "\n";
            last = now;
        }
    }
    EXPECT_EQ(said, "0 truncated: the MZ header ends past the end of the file\n"
                    "64 truncated: the PE signature ends past the end of the file\n"
                    "124 truncated: the COFF header ends past the end of the file\n"
                    "144 truncated: the optional header ends past the end of the file\n"
                    "240 truncated: the section table ends past the end of the file\n"
                    "512 truncated: import descriptor 0 at RVA 0x2020 ends past the end of the file\n"
                    "1572 truncated: import descriptor 0 at RVA 0x202c ends past the end of the file\n"
                    "1584 truncated: import descriptor 0 at RVA 0x2030 ends past the end of the file\n"
                    "1588 truncated: the name of import descriptor 0 at RVA 0x20b4 ends past the end of the file\n"
                    "1728 truncated: the name of import descriptor 1 at RVA 0x20c0 ends past the end of the file\n"
                    "1750 msvcr80.dll: free; kivvariantmanager.dll: KIVVMGetSetupPaths KIVVMInit\n");
    const std::vector<unsigned char> delay = seed("x64-ucrt-delay-loaded.exe");
    for (std::size_t size = 0; size < delay.size(); ++size) {
        const std::vector<unsigned char> prefix(delay.begin(), delay.begin() + static_cast<long>(size));
        PeImage image;
        const std::string error = read_image(prefix, image);
        EXPECT_TRUE(error.empty() || image.modules.empty()) << size;
    }
    // A read that fails, wherever it comes, is said, never taken for bytes
    // or for nothing there: the headers', the resources', the strings', GNU
    // ld's descriptors'.
    for (const char *name : {"x86-stand-in.dll", "x86-gnu-delay-loaded.exe"}) {
        const std::vector<unsigned char> whole = seed(name);
        int reads = 0;
        for (; outcome(FailingBytes(whole, reads)) != outcome(whole); ++reads) {
            EXPECT_EQ(outcome(FailingBytes(whole, reads)), "cannot read it: Input/output error") << name << reads;
        }
        EXPECT_GE(reads, 4) << name;
    }
    // Memory refuses a read past its end rather than read what lies beyond.
    const std::vector<unsigned char> four = {1, 2, 3, 4};
    const kivvm_tool::MemoryBytes memory(four.data(), four.size());
    unsigned char out[4] = {};
    EXPECT_TRUE(memory.read(0, out, 4) && out[3] == 4);
    EXPECT_FALSE(memory.read(1, out, 4));
    EXPECT_FALSE(memory.read(5, out, 0));
    EXPECT_EQ(memory.error(), "a read past its end");
}

// A seed with little-endian values written at offsets.  The layout of the
// seeds these tests change is in pe-corpus.md.
std::vector<unsigned char> patched(const char *name, std::vector<std::tuple<std::size_t, unsigned, std::uint64_t>> values)
{
    std::vector<unsigned char> bytes = seed(name);
    for (const auto &[offset, width, value] : values) {
        for (unsigned i = 0; i < width; ++i) {
            bytes.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
        }
    }
    return bytes;
}

std::vector<unsigned char> first(std::vector<unsigned char> bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

// The x86 host with its last section, .reloc (RVA 0x4000, from 0xa00 to the
// file's end; its size at 0x1f8), holding these bytes instead.
std::vector<unsigned char> with_reloc(std::vector<std::tuple<std::size_t, unsigned, std::uint64_t>> values,
                                      const std::vector<unsigned char> &reloc)
{
    values.emplace_back(0x1f8, 4, reloc.size());
    std::vector<unsigned char> bytes = patched("x86-msvcr80-host.exe", values);
    bytes.resize(0xa00);
    bytes.insert(bytes.end(), reloc.begin(), reloc.end());
    return bytes;
}

TEST(PeReader, SaysWhatIsWrongWithAnImage)
{
    const char *host = "x86-msvcr80-host.exe";
    const std::string read = "msvcr80.dll: free; kivvariantmanager.dll: KIVVMGetSetupPaths KIVVMInit";
    const std::string name0 = "the name of import descriptor 0 at RVA ";
    const char *gnu = "x86-gnu-delay-loaded.exe";
    const std::string gnu_read = "kivvariantmanager.dll (delay, unlisted): KIVVMFreeSetupPaths KIVVMGetSetupPaths "
                                 "KIVVMInit";
    struct Case {
        std::vector<unsigned char> bytes;
        std::string said;
    };
    const Case cases[] = {
        {patched(host, {{0, 1, 'X'}}), "not a PE file: it does not start with \"MZ\""},
        {patched(host, {{0x78, 4, 0}}), "not a PE file: no PE signature at offset 0x78"},
        {patched(host, {{0x90, 2, 0x107}}), "not a PE image: optional header magic 0x107"},
        {patched(host, {{0x7e, 2, 97}}), "not a valid PE image: 97 sections, more than 96"},
        {patched(host, {{0x7e, 2, 0x160}}), "not a valid PE image: 352 sections, more than 96"},
        {patched(host, {{0x7e, 2, 96}}), "truncated: the section table ends past the end of the file"},
        // Data directories: as many as the header counts and has room for.
        {patched(host, {{0xec, 4, 1}}), ""},
        {patched(host, {{0x8c, 2, 0x6f}}), ""},
        {patched(host, {{0x8c, 2, 0x70}}), "import descriptor 0 at RVA 0x2020 lies outside the file's sections"},
        {patched(host, {{0x8c, 2, 0x1e0}}), "import descriptor 0 at RVA 0x2020 lies outside the file's sections"},
        // RVAs below the size of the headers lie in the headers.
        {patched(host, {{0xcc, 4, 0x2100}}), "truncated: import descriptor 0 at RVA 0x2020 ends past the end of the file"},
        {patched(host, {{0x62c, 4, 0x170}}), ".text: free; kivvariantmanager.dll: KIVVMGetSetupPaths KIVVMInit"},
        {patched(host, {{0x62c, 4, 0x10020b4}}), name0 + "0x10020b4 lies outside the file's sections"},
        {patched(host, {{0x62c, 4, 0x21ff}, {0x7ff, 1, 'A'}}), name0 + "0x21ff has no end within its section"},
        {patched(host, {{0x62c, 4, 0x41ff}, {0xbff, 1, 'A'}}), name0 + "0x41ff has no end within its section"},
        // The headers end where their size says, and the sections take over.
        {patched(host, {{0xcc, 4, 0x2020}}), read},
        {patched(host, {{0xcc, 4, 0x1000400}}), "truncated: import descriptor 0 at RVA 0x2020 ends past the end of the file"},
        // Fields of the DOS header that Windows ignores are no directory.
        {patched(host, {{0x4, 4, 0x20b4}, {0x10, 4, 0x205c}}), read},
        {patched(host, {{0xd0, 1, 1}}), read},
        // A section's RVA, size and offset, read whole.
        {patched(host, {{0x1a4, 4, 0x1002000}, {0xf8, 4, 0x1002020}}), name0 + "0x20b4 lies outside the file's sections"},
        {patched(host, {{0x1fc, 4, 0x1000a00}, {0x62c, 4, 0x4000}}),
         "truncated: " + name0 + "0x4000 ends past the end of the file"},
        // The first section that holds an RVA is where it lies; one that
        // ends there does not hold it.
        {patched(host, {{0x1cc, 4, 0x2200}, {0x62c, 4, 0x2200}}), outcome(patched(host, {{0x62c, 4, 0x3000}}))},
        {patched(host, {{0x1cc, 4, 0x2000}}), read},
        {patched(host, {{0x1b0, 1, 0xff}}), read},
        // The lookup table, else the address table, which a bound image has changed.
        {patched(host, {{0x620, 4, 0}}), read},
        {patched(host, {{0x630, 4, 0x2064}}), read},
        {patched(host, {{0x686, 1, 0}}), "an import from msvcr80.dll has an empty name"},
        {patched(host, {{0x620, 4, 0x21fe}}), "an import of msvcr80.dll at RVA 0x21fe ends past its section"},
        {patched(host, {{0x65c, 4, 0x9000}}), "an imported name from msvcr80.dll at RVA 0x9002 lies outside the file's sections"},
        {patched(host, {{0x62c, 4, 0x1000}, {0x400, 4, 0x434241}}), "ABC" + read.substr(11)},
        {patched(host, {{0x640, 4, 0}}), "msvcr80.dll: free"},
        {patched(host, {{0x62c, 4, 0x4300}, {0x1f8, 4, 0x1000200}}),
         "truncated: " + name0 + "0x4300 ends past the end of the file"},
        {first(patched(host, {{0x7e, 2, 0}}), 0xfa), "truncated: the data directory table ends past the end of the file"},
        {first(patched(host, {{0x7e, 2, 0}}), 0xf6), "truncated: the data directory table ends past the end of the file"},
        // A 64-bit image's ordinals have the top bit of 64.
        {patched("x64-ucrt-delay-loaded.exe", {{0x710, 8, 0x8000000000000005}}),
         "api-ms-win-crt-heap-l1-1-0.dll: #5; " + outcome(seed("x64-ucrt-delay-loaded.exe")).substr(40)},
        // Old delay-load descriptors give addresses, as every entry of their
        // name tables does: rebased, and checked, against a 64-bit image's
        // base too.
        {patched("x64-ucrt-delay-loaded.exe", {{0xa8, 8, 0x10000000}, {0x628, 4, 0}, {0x62c, 4, 0x100020c0},
                                               {0x638, 4, 0x10002068}, {0x668, 8, 0x10002088},
                                               {0x670, 8, 0x1000209e}, {0x678, 8, 0x100020b4}}),
         outcome(seed("x64-ucrt-delay-loaded.exe"))},
        {seed("x86-delay-loaded-old-style"), outcome(seed("x86-delay-loaded.exe"))},
        {patched("x86-delay-loaded-old-style", {{0x654, 4, 0x207a}}),
         "an import of kivvariantmanager.dll gives an address below the image base"},
        {patched("x86-delay-loaded-old-style", {{0x654, 4, 0x80000002}}),
         "api-ms-win-crt-heap-l1-1-0.dll: malloc; kivvariantmanager.dll (delay): KIVVMFreeSetupPaths #2 KIVVMInit"},
        {patched("x86-delay-loaded-old-style", {{0x614, 4, 0xfff0000}}),
         "delay-load descriptor 0 gives an address below the image base"},
        {patched("x86-delay-loaded-old-style", {{0x620, 4, 0x10000000}}), "api-ms-win-crt-heap-l1-1-0.dll: malloc"},
        {patched("x64-ucrt-delay-loaded.exe", {{0x648, 4, 1}, {0x64c, 4, 0x20c0}, {0x658, 4, 0x2068}}),
         outcome(seed("x64-ucrt-delay-loaded.exe")) + "; kivvariantmanager.dll (delay): KIVVMFreeSetupPaths "
                                                       "KIVVMGetSetupPaths KIVVMInit"},
        {patched("x86-delay-loaded-old-style", {{0x614, 4, 0x10000000}}), "api-ms-win-crt-heap-l1-1-0.dll: malloc"},
        {patched("x86-delay-loaded.exe", {{0x624, 4, 0xff}}), outcome(seed("x86-delay-loaded.exe"))},
        {patched("x86-delay-loaded-old-style", {{0x620, 4, 1}}), "delay-load descriptor 0 gives an address below the image base"},
        {patched("x86-delay-loaded-old-style", {{0x158, 4, 0x21fd}}),
         "delay-load descriptor 0 at RVA 0x21fd ends past its section"},
        {patched("x86-delay-loaded-old-style", {{0x158, 4, 0x21fc}}),
         "delay-load descriptor 0 at RVA 0x2200 lies outside the file's sections"},
        // GNU ld's descriptors, found by the RVA of the name in the section
        // that holds it (not .reloc, put at offset 0 before it here), and
        // left out where they give no functions, or none that can be read.
        {seed(gnu), gnu_read},
        {seed("x64-gnu-delay-loaded.exe"), gnu_read},
        {patched(gnu, {{0x254, 4, 0}}), gnu_read},
        {patched(gnu, {{0x48c, 4, 0}}), ""},
        {patched(gnu, {{0x48c, 4, 0x9000}}), ""},
        // A name at a section's first byte is at that section's RVA: .reloc
        // put on the name at another RVA than .idata's hides the descriptor.
        {patched(gnu, {{0x254, 4, 0xc74}, {0x24c, 4, 0x7000}}), ""},
        // The bounds on a name, on the functions and on the DLLs.
        {with_reloc({{0x62c, 4, 0x4000}}, std::vector<unsigned char>(4096, 'A')), name0 + "0x4000 is longer than 4095 bytes"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(outcome(c.bytes), c.said);
    }
    // Only our DLL listed, in any case, hides its unlisted descriptors.
    for (const auto &[listed, added] : std::vector<std::pair<const char *, std::size_t>>{
             {"KIVVARIANTMANAGER.DLL", 0}, {"kivvariantmanager.dlx", 1}}) {
        const std::vector<unsigned char> bytes = seed(gnu);
        const kivvm_tool::MemoryBytes source(bytes.data(), bytes.size());
        PeImage image;
        ASSERT_EQ(kivvm_tool::read_pe_image(source, image), "");
        image.modules.push_back({listed, false, {}});
        EXPECT_EQ(kivvm_tool::add_unlisted_delay_loads(source, 0xc74, image), "");
        EXPECT_EQ(image.modules.size(), 1 + added) << listed;
    }
    std::vector<unsigned char> name(4095, 'A');
    name.push_back(0);
    EXPECT_EQ(outcome(with_reloc({{0x62c, 4, 0x4000}}, name)).substr(0, 4096), std::string(4095, 'A') + ":");
    name.back() = 'A';
    name.push_back(0);
    EXPECT_EQ(outcome(with_reloc({{0x62c, 4, 0x4000}}, name)), name0 + "0x4000 is longer than 4095 bytes");
    // The image's functions: 65535 are read, 65536 are too many (the
    // host's second DLL has two); its DLLs: 4095 are read, 4096 too many.
    for (const std::size_t ordinals : {65533, 65534}) {
        std::vector<unsigned char> table(4 * ordinals, 0xff);
        table.resize(table.size() + 4);
        const std::string said = outcome(with_reloc({{0x620, 4, 0x4000}}, table));
        if (ordinals == 65533) {
            EXPECT_EQ(std::count(said.begin(), said.end(), '#'), 65533);
        } else {
            EXPECT_EQ(said, "the imports have no end within 65536 functions");
        }
    }
    const std::vector<unsigned char> bytes = seed(host);
    for (const std::size_t dlls : {4095, 4096}) {
        std::vector<unsigned char> descriptors;
        for (std::size_t i = 0; i < dlls; ++i) {
            descriptors.insert(descriptors.end(), bytes.begin() + 0x620, bytes.begin() + 0x634);
        }
        descriptors.resize(descriptors.size() + 20);
        const std::string said = outcome(with_reloc({{0xf8, 4, 0x4000}}, descriptors));
        if (dlls == 4095) {
            EXPECT_EQ(std::count(said.begin(), said.end(), ';'), 4094);
        } else {
            EXPECT_EQ(said, "the import directory has no end within 4096 DLLs");
        }
    }
}

// A DLL's exports: its name, then each function's ordinal and name, named
// ones first; the stand-in exports three names and one function by
// ordinal only (its export directory is at 0x610).
TEST(PeReader, ReadsExportsByNameAndByOrdinal)
{
    const auto exports = [](const std::vector<unsigned char> &bytes) {
        PeImage image;
        std::string text = read_image(bytes, image);
        text += image.export_name + ":";
        for (const kivvm_tool::PeExport &entry : image.exports) {
            text += " " + std::to_string(entry.ordinal) + (entry.name.empty() ? "" : "=" + entry.name);
        }
        return text;
    };
    const char *dll = "x86-stand-in.dll";
    EXPECT_EQ(exports(seed(dll)), "x86-stand-in.dll: 3=KIVVMFreeSetupPaths 2=KIVVMGetSetupPaths 1=KIVVMInit 7");
    EXPECT_EQ(exports(patched(dll, {{0x620, 4, 100}, {0x61c, 4, 0}})),
              ": 103=KIVVMFreeSetupPaths 102=KIVVMGetSetupPaths 101=KIVVMInit 107");
    EXPECT_EQ(exports(patched(dll, {{0x624, 4, 65537}})),
              "the export directory lists 65537 functions and 3 names, more than 65536:");
    EXPECT_EQ(exports(patched(dll, {{0x628, 4, 65537}})),
              "the export directory lists 8 functions and 65537 names, more than 65536:");
    EXPECT_EQ(exports(patched(dll, {{0x624, 4, 3}})), "the exported name KIVVMFreeSetupPaths has no function: its "
                                                      "index 3 is past the 3 of the export address table:");
    EXPECT_EQ(exports(seed("x86-msvcr80-host.exe")), ":");
    std::vector<unsigned char> unended = seed("x86-forwarder.dll");
    std::fill(unended.begin() + 0x6a4, unended.begin() + 0x800, 'A');
    EXPECT_EQ(exports(unended), "a forwarder at RVA 0x20a4 has no end within its section:");
    // Its fields read whole, its tables' bounds, and a function at index 0.
    const std::string read = "x86-stand-in.dll: 3=KIVVMFreeSetupPaths 2=KIVVMGetSetupPaths 1=KIVVMInit 7";
    const std::pair<std::vector<std::tuple<std::size_t, unsigned, std::uint64_t>>, std::string> cases[] = {
        {{{0xec, 4, 0}}, ":"},
        {{{0x649, 4, 0x1000}}, read.substr(0, read.size() - 1) + "0 7"},
        {{{0x624, 4, 0x1000008}}, "the export directory lists 16777224 functions and 3 names, more than 65536:"},
        {{{0x628, 4, 0x1000003}}, "the export directory lists 8 functions and 16777219 names, more than 65536:"},
        {{{0x624, 4, 65536}}, "the export address table at RVA 0x21fd ends past its section:"},
        {{{0x628, 4, 65536}}, "an exported name at RVA 0x20003 lies outside the file's sections:"},
        {{{0x61c, 4, 0x9000}}, "the name in the export directory at RVA 0x9000 lies outside the file's sections:"},
        {{{0x630, 4, 0x1002069}}, "the export name table at RVA 0x1002069 lies outside the file's sections:"},
        {{{0x634, 4, 0x1002075}}, "the export ordinal table at RVA 0x1002075 lies outside the file's sections:"},
        {{{0x675, 2, 0x100}}, "the exported name KIVVMFreeSetupPaths has no function: its index 256 is past the 8 "
                               "of the export address table:"},
        {{{0x669, 4, 0x9000}}, "an exported name at RVA 0x9000 lies outside the file's sections:"},
        {{{0x62c, 4, 0x1002049}}, "the export address table at RVA 0x1002055 lies outside the file's sections:"},
        {{{0x669, 4, 0x1009000}}, "an exported name at RVA 0x1009000 lies outside the file's sections:"},
        {{{0x61c, 4, 0x1002038}}, "the name in the export directory at RVA 0x1002038 lies outside the file's sections:"},
        {{{0x620, 4, 0x1000000}, {0x624, 4, 4}},
         "x86-stand-in.dll: 16777219=KIVVMFreeSetupPaths 16777218=KIVVMGetSetupPaths 16777217=KIVVMInit"},
    };
    for (const auto &[values, said] : cases) {
        EXPECT_EQ(exports(patched(dll, values)), said);
    }
}

// A DLL's resources: every leaf of the tree, the data of its version
// resource, read into versions and strings, and its manifest; the stand-in
// has one of each (its resource tree is at 0xa00, RVA 0x4000).
TEST(PeReader, ReadsResourcesVersionAndManifest)
{
    const auto resources = [](const std::vector<unsigned char> &bytes) {
        PeImage image;
        std::string text = read_image(bytes, image);
        for (const kivvm_tool::PeResource &leaf : image.resources) {
            text += leaf.type + "/" + leaf.name + "/" + leaf.language + " " + kivvm_tool::hex(leaf.rva) + " " +
                    std::to_string(leaf.size) + "; ";
        }
        return text;
    };
    const char *dll = "x86-stand-in.dll";
    EXPECT_EQ(resources(seed(dll)), "16/1/1033 0x4218 332; 24/1/1033 0x40a0 371; ");
    PeImage named_two;
    ASSERT_EQ(read_image(patched(dll, {{0xa48, 4, 2}}), named_two), "");
    EXPECT_EQ(named_two.manifest_name, "2");
    EXPECT_EQ(resources(patched(dll, {{0xa14, 4, 0x20}})), "the resource tree is not three levels deep at 16");
    EXPECT_EQ(resources(patched(dll, {{0xa34, 4, 0x80000020}})),
              "the resource tree is not three levels deep at 16/1/1");
    // A type by name, in UTF-16 (at 0x3c0 from the tree's root): each
    // length of UTF-8, surrogate pairs, and surrogates without their pair,
    // the last at the name's end.
    std::vector<std::tuple<std::size_t, unsigned, std::uint64_t>> name = {{0xa10, 4, 0x800003c0}, {0xdc0, 2, 14}};
    const std::uint64_t units[] = {0x7f, 0x80, 0x7ff, 0x800, 0xd7ff, 0xe000, 0xffff,
                                   0xd800, 0xdc00, 0xdbff, 0xdfff, 0xd800, 0x41, 0xdbff};
    for (std::size_t i = 0; i < std::size(units); ++i) {
        name.emplace_back(0xdc2 + 2 * i, 2, units[i]);
    }
    EXPECT_EQ(resources(patched(dll, name)).substr(0, 40),
              "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"
              "\xef\xbf\xbd" "A" "\xef\xbf\xbd" "/1/1033 ");
    EXPECT_EQ(resources(patched(dll, {{0xa10, 4, 0x800003ff}})), "a resource name at RVA 0x43ff ends past its section");
    EXPECT_EQ(resources(patched(dll, {{0xa10, 4, 0x800003fc}, {0xdfc, 2, 2}})),
              "a resource name at RVA 0x4400 lies outside the file's sections");
    EXPECT_EQ(resources(patched(dll, {{0xa0e, 2, 3}})), "the resource tree is not three levels deep at 0");
    EXPECT_EQ(resources(patched(dll, {{0x1f8, 4, 0x12}})), "the resource table at RVA 0x4010 ends past its section");
    EXPECT_EQ(resources(patched(dll, {{0x1f8, 4, 0x30}})), "the resource table at RVA 0x4030 lies outside the file's sections");
    // The root's first entry counted as named, its name beginning with a
    // surrogate pair; a language that is a table; a data entry, and data,
    // outside the sections.
    EXPECT_EQ(resources(patched(dll, {{0xa0c, 2, 1}, {0xa0e, 2, 1}, {0xa10, 4, 0x800003c0}, {0xdc0, 2, 4},
                                      {0xdc2, 2, 0xd83d}, {0xdc4, 2, 0xde00}, {0xdc6, 2, 0xd83d}, {0xdc8, 2, 0xe000}})),
              "\xf0\x9f\x98\x80\xef\xbf\xbd\xee\x80\x80/1/1033 0x4218 332; 24/1/1033 0x40a0 371; ");
    // Two low surrogates, then a pair at the end.
    EXPECT_EQ(resources(patched(dll, {{0xa0c, 2, 1}, {0xa0e, 2, 1}, {0xa10, 4, 0x800003c0}, {0xdc0, 2, 4},
                                      {0xdc2, 2, 0xdc00}, {0xdc4, 2, 0xdc01}, {0xdc6, 2, 0xd83d}, {0xdc8, 2, 0xde00}})),
              "\xef\xbf\xbd\xef\xbf\xbd\xf0\x9f\x98\x80/1/1033 0x4218 332; 24/1/1033 0x40a0 371; ");
    EXPECT_EQ(resources(patched(dll, {{0xa7c, 4, 0x80000090}})), "the resource tree is not three levels deep at 24/1/1033");
    EXPECT_EQ(resources(patched(dll, {{0xa64, 4, 0x3ffc}})),
              "the resource data entry of 16/1/1033 at RVA 0x7ffc lies outside the file's sections");
    EXPECT_EQ(resources(patched(dll, {{0xa80, 4, 0x9000}})), "resource 16/1/1033 at RVA 0x9000 lies outside the file's sections");
    EXPECT_EQ(resources(patched(dll, {{0xa84, 4, 0x100014c}})), "resource 16/1/1033 at RVA 0x4218 ends past its section");
    EXPECT_EQ(resources(patched(dll, {{0xa80, 4, 0x1004218}})), "resource 16/1/1033 at RVA 0x1004218 lies outside the file's sections");
    EXPECT_EQ(resources(patched(dll, {{0xa88, 4, 1}})), resources(seed(dll)));
    EXPECT_EQ(resources(patched(dll, {{0xa34, 4, 0x50}})), "the resource tree is not three levels deep at 16/1");
    // Counts of 256 and more: their entries past the two are empty leaves.
    EXPECT_EQ(resources(patched(dll, {{0xa0c, 2, 0x100}})), "the resource tree is not three levels deep at 0");
    EXPECT_EQ(resources(patched(dll, {{0xa0e, 2, 0x102}})), "the resource tree is not three levels deep at 0");
    // No resource directory: the headers are not read as one.
    EXPECT_EQ(resources(patched("x86-msvcr80-host.exe", {{0xe, 2, 1}})), "");
    // A tree at RVA 1, in the headers: one entry, at level one a leaf.
    EXPECT_EQ(resources(patched(dll, {{0x100, 4, 1}, {0xd, 2, 1}})), "the resource tree is not three levels deep at 0");
    // 40 types of 40 names of 40 languages: more entries than a tree may hold.
    std::vector<std::tuple<std::size_t, unsigned, std::uint64_t>> wide;
    for (const auto &[table, target] : {std::pair<std::size_t, std::uint64_t>{0xa00, 0x80000150},
                                        {0xb50, 0x800002a0}, {0xca0, 0x80}}) {
        wide.insert(wide.end(), {{table + 12, 2, 0}, {table + 14, 2, 40}});
        for (std::size_t i = 0; i < 40; ++i) {
            wide.insert(wide.end(), {{table + 16 + 8 * i, 4, i + 1}, {table + 20 + 8 * i, 4, target}});
        }
    }
    EXPECT_EQ(resources(patched(dll, wide)), "the resource tree has more than 65536 entries");

    const std::vector<unsigned char> bytes = seed(dll);
    PeImage image;
    ASSERT_EQ(read_image(bytes, image), "");
    const kivvm_tool::PeVersion version = kivvm_tool::read_version(image.version);
    EXPECT_EQ(version.file_version, "0.9.1.2");
    EXPECT_EQ(version.product_version, "0.9.0.0");
    EXPECT_EQ(version.strings, (std::vector<std::pair<std::string, std::string>>{{"FileVersion", "0.9.1"},
                                                                                  {"ProductName", "kivvariantmanager"}}));
    EXPECT_NE(image.manifest.find("name=\"Microsoft.VC80.CRT\" version=\"8.0.50608.0\""), std::string::npos);
    const std::vector<kivvm_tool::PeAssembly> bound = kivvm_tool::read_manifest(image.manifest);
    ASSERT_EQ(bound.size(), 1U);
    EXPECT_EQ(bound[0].name + " " + bound[0].version + " " + bound[0].architecture, "Microsoft.VC80.CRT 8.0.50608.0 x86");
    // Its own identity is not a binding; prefixes and either quote are read.
    const auto assemblies = kivvm_tool::read_manifest(
        "<assembly><assemblyIdentity name='self' version='1.0.0.0'/><asmv1:dependency><asmv1:dependentAssembly>"
        "<asmv1:assemblyIdentity\ttype='win32' xname=\"no\" name='A.B' processorArchitecture=\"amd64\"/>"
        "</asmv1:dependentAssembly></asmv1:dependency><dependentAssembly><assemblyIdentity\tname='C' "
        "uversion='no' processorArchitecture=''/><x version='9'/></dependentAssembly ><assemblyIdentity name='out'/>"
        "<dependentAssembly><assemblyIdentity name='D'\rversion='4'\nprocessorArchitecture='x86'/></dependentAssembly>"
        "<<dependentAssembly><ax:assemblyIdentity name='E'/></dependentAssembly><assemblyIdentity name='after'");
    ASSERT_EQ(assemblies.size(), 4U);
    EXPECT_EQ(assemblies[0].name + "|" + assemblies[0].version + "|" + assemblies[0].architecture, "A.B||amd64");
    EXPECT_EQ(assemblies[1].name + "|" + assemblies[1].version + "|" + assemblies[1].architecture, "C||");
    EXPECT_EQ(assemblies[2].name + "|" + assemblies[2].version + "|" + assemblies[2].architecture, "D|4|x86");
    EXPECT_EQ(assemblies[3].name, "E");
    // As an XML parser reads it: an element closed by its end tag is one;
    // comments, CDATA and declarations hide what they hold; spaces around
    // '=', a '>' in a value, references and line ends in values; UTF-16.
    const std::string dependent = "<dependency><dependentAssembly>";
    const auto utf16le = [](const std::string &text) {
        std::string units;
        for (const char c : text) {
            units += {c, '\0'};
        }
        return units;
    };
    const auto utf16be = [](const std::string &text) {
        std::string units;
        for (const char c : text) {
            units += {'\0', c};
        }
        return units;
    };
    const std::pair<std::string, std::string> manifests[] = {
        {dependent + "<assemblyIdentity name='A' publicKeyToken='1fc8'></assemblyIdentity></dependentAssembly>", "A|1fc8;"},
        {dependent + "<!-- a > <assemblyIdentity name='no'/> --><![CDATA[ a > <assemblyIdentity name='no'/>]]>"
                     "<!DOCTYPE x><?x a > <assemblyIdentity name='no'/> ?><assemblyIdentity name = \"B>\"/>", "B>|;"},
        {dependent + "<assemblyIdentity name='A'/><assemblyIdentity name='B'/></dependentAssembly>", "A|;B|;"},
        {dependent + "<!-- <assemblyIdentity name='no'/> --><?pi ?><assemblyIdentity name='C'/>", "C|;"},
        {dependent + "<assemblyIdentity name='A&#;'/><assemblyIdentity name=nn/>", "A&#;|;"},
        {dependent + "<assemblyIdentity name='&lt;&amp;&#65;&#x42;&quot;&apos;&gt;&bad;\tx\ny'/>", "<&AB\"'>&bad; x y|;"},
        {dependent + "</dependentAssembly><assemblyIdentity name='out'/>", ""},
        {"\xff\xfe" + utf16le("<dependentAssembly><assemblyIdentity name='U'/>"), "U|;"},
        {utf16le("<dependentAssembly><assemblyIdentity name='V'/>"), "V|;"},
        {"\xfe\xff" + utf16be("<dependentAssembly><assemblyIdentity name='W'/>"), "W|;"},
    };
    for (const auto &[xml, said] : manifests) {
        std::string read;
        for (const kivvm_tool::PeAssembly &bound : kivvm_tool::read_manifest(xml)) {
            read += bound.name + "|" + bound.public_key_token + ";";
        }
        EXPECT_EQ(read, said) << xml;
    }
    // Cut anywhere, a version resource gives what lies whole before the cut.
    for (std::size_t size = 0; size < image.version.size(); ++size) {
        const kivvm_tool::PeVersion cut = kivvm_tool::read_version(image.version.substr(0, size));
        EXPECT_TRUE(cut.file_version.empty() && cut.strings.empty()) << size;
    }
}

// A block of a version resource: its length, its value's length (in
// characters for text), whether it is text, its key in UTF-16 and its value,
// then its children, each from a 4-byte boundary.
std::string version_block(const std::string &key, const std::string &value, bool text,
                          const std::vector<std::string> &children = {}, std::size_t value_length = 0)
{
    std::string block(6, '\0');
    for (const char c : key + '\0') {
        block += {c, '\0'};
    }
    block.resize((block.size() + 3) & ~3U);
    block += value;
    for (const std::string &child : children) {
        block.resize((block.size() + 3) & ~3U);
        block += child;
    }
    const std::size_t length = value_length != 0 ? value_length : text ? value.size() / 2 : value.size();
    for (const auto &[at, number] : {std::pair<std::size_t, std::size_t>{0, block.size()}, {2, length}, {4, text}}) {
        block[at] = static_cast<char>(number & 0xffU);
        block[at + 1] = static_cast<char>(number >> 8U);
    }
    return block;
}

std::string utf16(const std::string &text)
{
    std::string units;
    for (const char c : text) {
        units += {c, '\0'};
    }
    return units;
}

// Strings count only under StringFileInfo, each as long as its value says.
TEST(PeReader, ReadsAVersionResourceByItsBlocks)
{
    // A value's length bounds its text: in units where it is text, in bytes
    // (here odd: the last whole unit ends it) where it is binary.
    const std::string strings = version_block(
        "StringFileInfo", "", true,
        {version_block("040904B0", "", true,
                       {version_block("ProductName", utf16("kivvariantmanager") + std::string(2, '\0'), true),
                        version_block("Short", utf16("ABC") + std::string(2, '\0'), true, {}, 2),
                        version_block("Odd", utf16("ki"), false, {}, 3)})});
    const std::string other = version_block(
        "Other", "", true, {version_block("040904B0", "", true, {version_block("X", utf16("Y"), true)})});
    const kivvm_tool::PeVersion version =
        kivvm_tool::read_version(version_block("VS_VERSION_INFO", "", false, {other, strings}));
    EXPECT_EQ(version.file_version, "");
    EXPECT_EQ(version.strings, (std::vector<std::pair<std::string, std::string>>{{"ProductName", "kivvariantmanager"},
                                                                                  {"Short", "AB"},
                                                                                  {"Odd", "k"}}));
    // Of several string tables, U.S. English in Unicode (in either case),
    // else the first.
    const auto table = [](const char *language, const char *value) {
        return version_block(language, "", true, {version_block("ProductName", utf16(value), true)});
    };
    const auto product = [](const std::vector<std::string> &tables) {
        const auto read = kivvm_tool::read_version(
            version_block("VS_VERSION_INFO", "", false, {version_block("StringFileInfo", "", true, tables)}));
        return read.strings.empty() ? std::string("none") : read.strings.at(0).second;
    };
    EXPECT_EQ(product({table("040704B0", "de"), table("040904B0", "en"), table("040904E4", "ansi")}), "en");
    EXPECT_EQ(product({table("040704B0", "de"), table("040904b0", "en")}), "en");
    EXPECT_EQ(product({table("040704B0", "de"), table("040904E4", "ansi")}), "de");
    // A string block of its header alone, last in its table, is read; a
    // fixed part is read only when its value holds all of its 52 bytes.
    const std::string bare("\x06\0\0\0\0\0", 6);
    const auto strings_of = [](const std::string &table) {
        return kivvm_tool::read_version(version_block(
            "VS_VERSION_INFO", "", false, {version_block("StringFileInfo", "", true, {table})})).strings;
    };
    EXPECT_EQ(strings_of(version_block("040904B0", "", true, {version_block("A", utf16("B"), true), bare})),
              (std::vector<std::pair<std::string, std::string>>{{"A", "B"}, {"", ""}}));
    // A block shorter than its header, or longer than its parent, is left out.
    std::string long_string = version_block("A", utf16("B"), true);
    long_string[0] = static_cast<char>(long_string[0] + 4);
    EXPECT_EQ(strings_of(version_block("040904B0", "", true, {version_block("A", utf16("B"), true),
                                                              std::string("\x05\0\0\0\0\0", 6)})),
              (std::vector<std::pair<std::string, std::string>>{{"A", "B"}}));
    const auto read = kivvm_tool::read_version(version_block(
        "VS_VERSION_INFO", "", false,
        {version_block("StringFileInfo", "", true,
                       {version_block("040904B0", "", true, {long_string}), table("0407", "de")})}));
    EXPECT_TRUE(read.strings.empty());
    // Children start at the 4-byte boundary after a value of odd length, and
    // end at a block of length 0.
    EXPECT_EQ(strings_of(version_block("040904B0", std::string(5, '\1'), false,
                                       {version_block("A", utf16("B"), true), std::string(4, '\0'),
                                        version_block("C", utf16("D"), true)})),
              (std::vector<std::pair<std::string, std::string>>{{"A", "B"}}));
    std::string fixed(52, '\0');
    fixed.replace(0, 12, std::string("\xbd\x04\xef\xfe\0\0\1\0\2\0\1\0", 12));
    EXPECT_EQ(kivvm_tool::read_version(version_block("VS_VERSION_INFO", fixed, false)).file_version, "1.2.0.0");
    EXPECT_EQ(kivvm_tool::read_version(version_block("VS_VERSION_INFO", fixed, false, {}, 51)).file_version, "");
}

// As the loader does, the reader stops at a descriptor without an address
// table: the host whose first one is cleared imports nothing.
TEST(PeReader, StopsAtADescriptorWithoutAnAddressTable)
{
    const std::vector<unsigned char> bytes = seed("cleared-address-table");
    PeImage image;
    ASSERT_EQ(read_image(bytes, image), "");
    EXPECT_EQ(image.machine, 0x14c);
    EXPECT_TRUE(image.modules.empty());
}

// Words for LoadLibrary and GetProcAddress, in ASCII and UTF-16LE at any
// offset; the DLL's name in any case, with or without ".dll", as a word of
// its own; a word does not start inside another, and holds letters, digits
// and '_' only.  The bytes are read a MiB at a time: a match across the
// edge of one is whole.
TEST(PeStrings, FindsNamesAsciiAndUtf16)
{
    const std::string bytes = std::string("xKIVVMAtOne\0KIVVMInit\0_KIVVMGetHidden kivvmLower ", 50) +
                              "KIVVM09AZaz_/KIVVM1:KIVVM2@KIVVM3[KIVVM4`KIVVM5{KIVVM6" +
                              std::string("\0x\0K\0I\0V\0V\0M\0H\0\0K\0I\0V\0V\0M\0W\0i\0d\0e\0\0\0", 36) +
                              std::string("K\0i\0v\0V\0a\0r\0i\0a\0n\0t\0M\0a\0n\0a\0g\0e\0r\0.\0D\0L\0L\0", 42);
    const std::string edge = std::string((1 << 20) - 3, 'x') + std::string(" KIVVMInit\0kivvariantmanager.dll\0", 33);
    struct Case {
        std::string bytes;
        const char *dll;
        bool names_dll;
        std::vector<std::string> words;
        std::vector<std::uint64_t> dll_name_at;  // the name with ".dll" and a NUL, in ASCII
    };
    const Case cases[] = {
        {bytes, "kivvariantmanager.dll", true,
         {"KIVVMInit", "KIVVM09AZaz_", "KIVVM1", "KIVVM2", "KIVVM3", "KIVVM4", "KIVVM5", "KIVVM6", "KIVVMWide"}, {}},
        // Cut one byte short, the UTF-16 name is gone.
        {bytes.substr(0, bytes.size() - 1), "kivvariantmanager.dll", false,
         {"KIVVMInit", "KIVVM09AZaz_", "KIVVM1", "KIVVM2", "KIVVM3", "KIVVM4", "KIVVM5", "KIVVM6", "KIVVMWide"}, {}},
        {"", "kivvariantmanager.dll", false, {}, {}},
        // Any case, in ASCII too; UTF-16 only where every other byte is 0.
        {std::string("AZ.DLL  K\1I\1V\1V\1M\1Q\1 QIVVMNo", 28), "az.dll", true, {}, {}},
        {std::string("AZ.DLL  K\1I\1V\1V\1M\1Q\1 QIVVMNo", 28), "qz.dll", false, {}, {}},
        // Without ".dll", which Windows adds; not with another extension,
        // nor inside a longer word.
        {std::string("x\0kivvariantmanager\0", 20), "kivvariantmanager.dll", true, {}, {}},
        {"\"KIVVARIANTMANAGER\"", "kivvariantmanager.dll", true, {}, {}},
        {"x kivvariantmanager.dll", "kivvariantmanager.dll", true, {}, {}},
        {std::string("k\0i\0v\0v\0a\0r\0i\0a\0n\0t\0m\0a\0n\0a\0g\0e\0r\0\0\0", 36), "kivvariantmanager.dll", true, {}, {}},
        {"kivvariantmanager.exe kivvariantmanager.dllx kivvariantmanager_1.dll xkivvariantmanager.dll kivvariantmanager.dxl",
         "kivvariantmanager.dll", false, {}, {}},
        {std::string("kivvariantmanager.pdb\0libkivvariantmanager.so\0", 46), "kivvariantmanager.dll", false, {}, {}},
        // Where it lies as an import table holds it.
        {std::string("..KivVariantManager.DLL\0kivvariantmanager.dll\0", 46), "kivvariantmanager.dll", true, {}, {2, 24}},
        // A word of 256 characters is one, in UTF-16 across a chunk's end too;
        // one longer is left out.
        {"KIVVM" + std::string(251, 'x') + " KIVVM" + std::string(252, 'y'), "kivvariantmanager.dll", false,
         {"KIVVM" + std::string(251, 'x')}, {}},
        {std::string((1 << 20) - 512, '\0') + utf16("KIVVM" + std::string(251, 'x')) + std::string(2, '\0'),
         "kivvariantmanager.dll", false, {"KIVVM" + std::string(251, 'x')}, {}},
        {std::string((1 << 20) - 518, '\0') + utf16("xKIVVMWide") + std::string(2, '\0'), "kivvariantmanager.dll",
         false, {}, {}},
        {edge, "kivvariantmanager.dll", true, {"KIVVMInit"}, {(1 << 20) + 8}},
        {edge.substr(0, (1 << 20) + 3), "kivvariantmanager.dll", false, {"KIVVM"}, {}},
        // Names in two chunks, each found once.
        {std::string("kivvariantmanager.dll\0", 22) + edge, "kivvariantmanager.dll", true, {"KIVVMInit"},
         {0, (1 << 20) + 30}},
        // A prefix whose first letter is not the DLL's.
        {"az.dll KIVVMInit", "az.dll", true, {"KIVVMInit"}, {}},
        {"az.dll          KIVVMInit", "az.dll", true, {"KIVVMInit"}, {}},
    };
    for (const Case &c : cases) {
        const auto *data = reinterpret_cast<const unsigned char *>(c.bytes.data());
        const kivvm_tool::PeStrings text =
            kivvm_tool::scan_strings(kivvm_tool::MemoryBytes(data, c.bytes.size()), c.dll, "KIVVM");
        EXPECT_EQ(text.names_dll, c.names_dll) << c.bytes.substr(0, 60);
        EXPECT_EQ(text.words, c.words) << c.bytes.substr(0, 60);
        EXPECT_EQ(text.dll_name_at, c.dll_name_at) << c.bytes.substr(0, 60);
    }
}

// check-host on the seed images, each row a process as kivvm reads it from
// their folder, with the facts of this build: what it is told, in this
// order, and the verdict; a test of its own by the row's name.  (kivvm's
// own tests keep what only a process shows: arguments, exit statuses,
// stderr, folders and memory.)
struct SeedCase {
    const char *name;
    std::vector<std::string> files;
    const char *dll;  // --dll, or none
    Fits fits;
    std::vector<std::string> said;  // in this order in its text
};

std::vector<SeedCase> seed_cases()
{
    const BuildFacts &facts = kivvm_tool::build_facts();
    const std::string zip = "kivvariantmanager-" + facts.version;
    const std::string corrupts = " without KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] "
                                 "would corrupt a heap\n";
    const std::string unused = "\n  uses kivvariantmanager.dll: no, it neither imports nor names it\n";
    const std::string take = "the kivvariantmanager.dll checked will not serve them: take " + zip;
    const std::string vc80 = std::find_if(facts.runtimes.begin(), facts.runtimes.end(), [](const auto &runtime) {
                                 return runtime.name == "msvcr80";
                             })->assembly.version;
    return {
        {"TwoRuntimesInOneImage", {"x86-two-runtimes.exe"}, nullptr, Fits::no,
         {"\n  C runtime: more than one: it frees with msvcr90.dll while it imports msvcrt.dll too\n",
          "\n  why: it frees with msvcr90.dll while it imports msvcrt.dll too, and it imports KIVVMGetSetupPaths" +
              corrupts}},
        {"StaticRuntime", {"x86-static-runtime.exe"}, nullptr, Fits::no,
         {"\n  why: its C runtime is linked in statically (it imports no C runtime DLL), so its heap is its own, and it "
          "imports KIVVMGetSetupPaths" + corrupts}},
        {"StaticRuntimeReleasingWithOurs", {"x86-static-runtime-releases.exe"}, nullptr, Fits::cannot_tell,
         {"any x86 build will do, since it imports KIVVMFreeSetupPaths\n\n", "\nverdict: windows-x86-msvcrt ("}},
        {"AHostAndAPluginNeedingOtherBuilds", {"x86-msvcr80-host.exe", "x86-ucrt-plugin.dll"}, nullptr, Fits::no,
         {"\nverdict: no single build serves every file that uses kivvariantmanager.dll\n  x86-msvcr80-host.exe needs "
          "windows-x86 (" + zip + "-win32-msvcr80.zip)\n  x86-ucrt-plugin.dll needs windows-x86-ucrt (" + zip +
          "-win32-ucrt.zip)\nfits: no\n"}},
        {"AHostAndPluginsThatAgree", {"x86-msvcr80-host.exe", "x86-releasing-plugin.dll", "x86-msvcr90-plugin.dll"}, nullptr, Fits::cannot_tell,
         {unused, "\nverdict: windows-x86 (" + zip + "-win32-msvcr80.zip) serves every file", "\nfits: cannot tell\n"}},
        {"NoFileUsingTheDllCannotTell", {"x86-msvcr90-plugin.dll"}, nullptr, Fits::cannot_tell,
         {unused + "\nkivvariantmanager.dll: none checked: no FILE is a program, and no --dll names one\n\nverdict: no "
          "file here uses kivvariantmanager.dll\n  no FILE imports kivvariantmanager.dll (directly, delay-loaded, or "
          "through a FILE that forwards to it), forwards to it, or names it in its strings (in any case, with or "
          "without .dll, in ASCII or UTF-16LE)\n",
          "\nfits: cannot tell\n"}},
        {"NamesInALoadersStrings", {"x86-loadlibrary.exe"}, nullptr, Fits::cannot_tell,
         {"probably with LoadLibrary\n  names from its strings, not from an import table:\n    KIVVMInit: exported\n"}},
        {"MisspeltNameInALoadersStrings", {"x86-loadlibrary-misspelled.exe"}, nullptr, Fits::no,
         {"\n  why: its strings name KIVVMFreeSetupPath, which kivvariantmanager.dll does not export (nearest: "
          "KIVVMFreeSetupPaths)\n"}},
        {"LoaderNamingItInUtf16", {"x64-loadlibrary-utf16.exe"}, nullptr, Fits::cannot_tell,
         {"probably with LoadLibrary\n", "\nverdict: windows-x64 "}},
        // Every way to the DLL: imports and strings both, a forwarder's
        // exports (named first, the program second: the program decides
        // where the DLL is looked for), GNU ld's unlisted delay-load
        // descriptors, and Visual C++ 6's, whose every entry is an address.
        {"ImportsAndStringsBothRead", {"x86-mixed.exe"}, nullptr, Fits::no,
         {"\n  imports from kivvariantmanager.dll:\n    KIVVMInit: exported\n  names from its strings, not from an "
          "import table:\n    KIVVMGetSetupPaths: exported\n",
          "\n  why: no build of ours is on its C runtime (msvcr90.dll), and its strings name KIVVMGetSetupPaths" +
              corrupts}},
        {"ThroughAForwarder", {"x86-forwarder.dll", "x86-via-forwarder.exe"}, nullptr, Fits::no,
         {"C runtime DLL)\n  forwards to kivvariantmanager.dll:\n    KIVVMGetSetupPaths as KIVVMGetSetupPaths: exported\n"
          "    KIVVMInit as KIVVMInit: exported\n  builds",
          "\n    KIVVMGetSetupPaths: exported, through x86-forwarder.dll\n",
          ", and it imports KIVVMGetSetupPaths through x86-forwarder.dll" + corrupts,
          "\nkivvariantmanager.dll: none checked: there is none beside x86-via-forwarder.exe, "}},
        {"GnuLdDelayLoad", {"x86-gnu-delay-loaded.exe"}, nullptr, Fits::cannot_tell,
         {"\n    KIVVMInit: exported, delay-loaded\n", "\n  note: it delay-loads kivvariantmanager.dll through a "
                                                     "descriptor among its data, which its delay-load directory does "
                                                     "not list"}},
        {"GnuLdDelayLoadNamedFirstInItsStrings", {"x64-gnu-delay-loaded.exe"}, nullptr, Fits::cannot_tell,
         {"\n    KIVVMInit: exported, delay-loaded\n", "\n  note: it delay-loads kivvariantmanager.dll"}},
        {"OldStyleDelayLoad", {"x86-delay-loaded-old-style"}, nullptr, Fits::cannot_tell,
         {"\n  imports from kivvariantmanager.dll:\n    KIVVMFreeSetupPaths: exported, delay-loaded\n"}},
        // One file named twice is one file.
        {"OneFileNamedTwiceIsOne", {"x86-msvcr80-host.exe", "./x86-msvcr80-host.exe"}, nullptr, Fits::cannot_tell,
         {"x86-msvcr80-host.exe\n  architecture: x86", "\n  builds that serve it: windows-x86\n\nkivvariantmanager.dll: "}},
        // The DLL named: a stand-in that is not one of our builds.
        {"StandInLackingAnImport", {"x86-msvcr80-vc80-rtm-host.exe"}, "x86-stand-in.dll", Fits::no,
         {"\n  why: x86-msvcr80-vc80-rtm-host.exe imports KIVVMGetToolName, which this DLL does not export\n",
          "\n  " + take + "-win32-msvcr80.zip instead\n"}},
        {"DllOfAnotherArchitecture", {"x64-loadlibrary-utf16.exe"}, "x86-stand-in.dll", Fits::no,
         {"\n  why: it is for x86 and x64-loadlibrary-utf16.exe for x64: Windows will not load it\n",
          "\n  " + take + "-win64-ucrt.zip instead\n"}},
        {"HostBindingAnOlderVc80", {"x86-msvcr80-vc80-rtm-host.exe"}, nullptr, Fits::cannot_tell,
         {"\n  note: x86-msvcr80-vc80-rtm-host.exe's manifest binds Microsoft.VC80.CRT 8.0.50608.0, older than " +
          vc80 + ": the machine needs " + vc80 + " installed too, or kivvariantmanager.dll will not start "
          "(\"side-by-side configuration\")\nfits: cannot tell\n"}},
    };
}

// What GoogleTest prints of a row: its name.
void PrintTo(const SeedCase &c, std::ostream *out)
{
    *out << c.name;
}

class CheckHostOnSeeds : public testing::TestWithParam<SeedCase> {};

TEST_P(CheckHostOnSeeds, IsToldWhatItsFilesShow)
{
    const BuildFacts &facts = kivvm_tool::build_facts();
    const SeedCase &c = GetParam();
    {
        std::vector<ProcessCheck> processes;
        ASSERT_EQ(kivvm_tool::check_processes(c.files, c.dll, false, facts, processes), "");
        ASSERT_EQ(processes.size(), 1U);
        const std::string text = kivvm_tool::check_host_text(processes[0], facts);
        std::size_t at = 0;
        for (const std::string &piece : c.said) {
            at = text.find(piece, at);
            ASSERT_NE(at, std::string::npos) << piece << "\nis not in\n" << text;
        }
        EXPECT_EQ(processes[0].verdict.fits, c.fits) << text;
        EXPECT_EQ(processes[0].files.size(), c.files.size() - (c.files.size() == 2 && c.files[1][0] == '.'));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CheckHostOnSeeds, testing::ValuesIn(seed_cases()),
                         [](const testing::TestParamInfo<SeedCase> &info) { return info.param.name; });

// One process has one program; with each, each file is one.
TEST(CheckHostOnSeeds, TwoProgramsAreNoProcess)
{
    const BuildFacts &facts = kivvm_tool::build_facts();
    std::vector<ProcessCheck> processes;
    EXPECT_EQ(kivvm_tool::check_processes({"x86-msvcr80-host.exe", "x86-mixed.exe"}, nullptr, false, facts, processes),
              "x86-msvcr80-host.exe and x86-mixed.exe are both programs, and a process has one: check them apart "
              "with --each");
    EXPECT_EQ(kivvm_tool::check_processes({"x86-msvcr80-host.exe", "x86-mixed.exe"}, nullptr, true, facts, processes),
              "");
    EXPECT_EQ(processes.size(), 2U);
}

const BuildFacts kFacts = {
    "kivvariantmanager.dll",
    "kivvariantmanager",
    "1.2.3",
    "KIVVM",
    {"KIVVMInit", "KIVVMGetSetupPaths", "KIVVMFreeSetupPaths", "KIVVMGetTooBarFile", "KIVVMGetToolID",
     "KIVVMGetToolName"},
    {{"x86", 0x14c, "x86"}, {"x64", 0x8664, "amd64"}},
    {{"msvcr80", {"msvcr80.dll"}, false, {"Microsoft.VC80.CRT", "8.0.50727.762", "", "1fc8b3b9a1e18e3b"}},
     {"ucrt", {"ucrtbase.dll", "api-ms-win-crt-*.dll"}, false, {}},
     {"msvcrt", {"msvcrt.dll"}, true, {}}},
    {{"w86", "x86", "msvcr80", "a.zip"},
     {"w64", "x64", "ucrt", "b.zip"},
     {"w86-ucrt", "x86", "ucrt", "c.zip"},
     {"w86-msvcrt", "x86", "msvcrt", "d.zip"}},
};

PeModule named(const char *dll, std::vector<std::string> names, bool delay_loaded = false)
{
    PeModule module{dll, delay_loaded, {}};
    for (std::string &name : names) {
        module.imports.push_back({std::move(name), 0});
    }
    return module;
}

PeImage image_of(std::uint16_t machine, std::vector<PeModule> modules)
{
    PeImage image;
    image.machine = machine;
    image.modules = std::move(modules);
    return image;
}

// What a file's strings hold: our DLL's name or not, and words.
kivvm_tool::PeStrings holding(bool names_dll, std::vector<std::string> words)
{
    kivvm_tool::PeStrings strings;
    strings.names_dll = names_dll;
    strings.words = std::move(words);
    return strings;
}

HostCheck check(std::uint16_t machine, std::vector<PeModule> modules, const kivvm_tool::PeStrings &text = {})
{
    return check_host(image_of(machine, std::move(modules)), text, {}, kFacts);
}

std::vector<std::string> presets(const HostCheck &check)
{
    std::vector<std::string> names;
    for (const BuildFacts::Build &build : check.builds) {
        names.push_back(build.preset);
    }
    return names;
}

// A process of files, judged: its program the first file unless one is
// named ("" for none), its DLL the one given, if any.
ProcessCheck judged(std::vector<HostFile> files, std::optional<kivvm_tool::DllCheck> dll = std::nullopt,
                    const char *program = nullptr, const BuildFacts &facts = kFacts)
{
    ProcessCheck process;
    process.files = std::move(files);
    process.program = program != nullptr ? program : process.files.empty() ? "" : process.files[0].file;
    process.dll = std::move(dll);
    kivvm_tool::judge_process(process, facts);
    return process;
}

const PeModule kGets = named("kivvariantmanager.dll", {"KIVVMInit", "KIVVMGetSetupPaths"});
const PeModule kReleases = named("kivvariantmanager.dll", {"KIVVMGetSetupPaths", "KIVVMFreeSetupPaths"});

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
                          Case{0x8664, "ucrtbase.dll", "ucrt", "w64"}}) {
        const HostCheck host = check(c.machine, {named(c.runtime_dll, {"free"}), kGets});
        EXPECT_EQ(host.runtime, RuntimeKind::ours) << c.runtime_dll;
        EXPECT_EQ(host.runtime_name, c.runtime) << c.runtime_dll;
        EXPECT_EQ(presets(host), std::vector<std::string>{c.preset}) << c.runtime_dll;
        EXPECT_TRUE(host.reasons.empty()) << c.runtime_dll;
        EXPECT_TRUE(host.imports);
    }
}

// Whoever frees decides: each spelling of the heap functions names the
// runtime it comes from, and a second runtime makes the file's heap unknown.
TEST(CheckHost, HeapFunctionsInEverySpellingTellTheRuntime)
{
    for (const char *function : {"free", "realloc", "_recalloc", "_free_dbg", "_realloc_dbg", "??3@YAXPAX@Z",
                                 "??_V@YAXPAX@Z", "??3@YAXPAXI@Z", "??_V@YAXPAXI@Z", "??3@YAXPEAX@Z",
                                 "??_V@YAXPEAX@Z", "??3@YAXPEAX_K@Z", "??_V@YAXPEAX_K@Z",
                                 "??3@YAXPAXABUnothrow_t@std@@@Z", "??_V@YAXPEAXAEBUnothrow_t@std@@@Z", "_ZdlPv",
                                 "_ZdaPv", "_ZdlPvj", "_ZdaPvj", "_ZdlPvy", "_ZdaPvy", "_ZdlPvRKSt9nothrow_t",
                                 "_ZdaPvSt11align_val_t"}) {
        const HostCheck host = check(0x14c, {named("msvcrt.dll", {"printf"}), named("msvcr90.dll", {function}), kGets});
        EXPECT_EQ(host.runtime, RuntimeKind::several) << function;
        ASSERT_EQ(host.frees_with.size(), 1U) << function;
        EXPECT_EQ(host.frees_with[0].dll, "msvcr90.dll");
        ASSERT_EQ(host.reasons.size(), 1U) << function;
        EXPECT_EQ(host.reasons[0], "it frees with msvcr90.dll while it imports msvcrt.dll too, and it imports "
                                   "KIVVMGetSetupPaths without KIVVMFreeSetupPaths: releasing the list with its own "
                                   "free() or delete[] would corrupt a heap");
    }
    // Each function that frees memory of another kind is noted.
    for (const char *function : {"HeapFree", "LocalFree", "GlobalFree", "CoTaskMemFree", "_aligned_free"}) {
        const HostCheck host = check(0x14c, {named("msvcrt.dll", {"free"}), named("x.dll", {function}), kGets});
        ASSERT_FALSE(host.notes.empty()) << function;
        EXPECT_EQ(host.notes[0].find("it imports " + std::string(function) + " from x.dll: releasing"), 0U);
    }
    // A file that frees nothing on a C runtime's heap cannot corrupt one;
    // one runtime's two DLLs are one runtime; the C++ library's delete frees
    // on the one C runtime the file imports; Visual C++ runtimes, debug ones
    // too, are C runtimes by their names; memory of other kinds is noted.
    const std::string none = "it imports no function that frees memory on a C runtime's heap (free, operator "
                             "delete), so it cannot release the list on its own: any x86 build will do";
    const std::string other = "it imports HeapFree from kernel32.dll, _aligned_free from msvcr90.dll: releasing the "
                              "setup path list with one of them would corrupt the heap beside any build; only "
                              "KIVVMFreeSetupPaths, or the free() of the build's C runtime, releases it";
    struct Case {
        std::vector<PeModule> modules;
        RuntimeKind runtime;
        std::vector<std::string> presets;
        std::vector<std::string> said;  // its notes, then its reasons
    };
    const Case cases[] = {
        {{named("msvcrt.dll", {"printf"}), named("msvcr90.dll", {"malloc"}), kGets}, RuntimeKind::several,
         {"w86", "w86-ucrt", "w86-msvcrt"}, {"it imports more than one C runtime (msvcrt.dll, msvcr90.dll); " + none}},
        {{named("kernel32.dll", {"HeapFree"}), named("msvcr90.dll", {"_aligned_free"}), kGets}, RuntimeKind::other,
         {"w86", "w86-ucrt", "w86-msvcrt"}, {other, "no build of ours is on its C runtime (msvcr90.dll); " + none}},
        {{named("api-ms-win-crt-heap-l1-1-0.dll", {"free"}), named("api-ms-win-crt-runtime-l1-1-0.dll", {"_initterm"}),
          named("ole32.dll", {"CoTaskMemFree"}), kGets}, RuntimeKind::ours, {"w86-ucrt"},
         {"it imports CoTaskMemFree from ole32.dll: releasing the setup path list with it would corrupt the heap beside "
          "any build; only KIVVMFreeSetupPaths, or the free() of the build's C runtime, releases it"}},
        {{named("msvcrt.dll", {"free"}), named("libstdc++-6.dll", {"_ZdaPv", "_ZdlPv"}), kGets}, RuntimeKind::ours,
         {"w86-msvcrt"}, {"it frees with _ZdaPv from libstdc++-6.dll, which frees on the C runtime it imports "
                          "(mingw-w64's C++ library is built on it)"}},
        {{named("msvcrt.dll", {"printf"}), named("LIBSTDC++-6.DLL", {"_ZdlPv"}), kGets}, RuntimeKind::ours,
         {"w86-msvcrt"}, {"it frees with _ZdlPv from LIBSTDC++-6.DLL, which frees on the C runtime it imports "
                          "(mingw-w64's C++ library is built on it)"}},
        {{named("libstdc++-6.dll", {"_ZdaPv"}), kGets}, RuntimeKind::other, {},
         {"it frees with _ZdaPv from libstdc++-6.dll, which frees on the C runtime it imports (mingw-w64's C++ library "
          "is built on it)", "no build of ours is on its C runtime (libstdc++-6.dll), and it imports KIVVMGetSetupPaths "
          "without KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] would corrupt a heap"}},
        {{named("ucrtbased.dll", {"printf"}), kGets}, RuntimeKind::other, {"w86", "w86-ucrt", "w86-msvcrt"},
         {"no build of ours is on its C runtime (ucrtbased.dll); " + none}},
        {{named("crtdll.dll", {"printf"}), kGets}, RuntimeKind::other, {"w86", "w86-ucrt", "w86-msvcrt"},
         {"no build of ours is on its C runtime (crtdll.dll); " + none}},
        {{named("msvcrt.dll", {"free"}), named("msvcr90.dll", {"free"}), kGets}, RuntimeKind::several, {},
         {"it frees with more than one runtime (msvcrt, msvcr90.dll), and it imports KIVVMGetSetupPaths without "
          "KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] would corrupt a heap"}},
        {{named("msvcr120.dll", {"free"}), kGets}, RuntimeKind::other, {}, {}},
    };
    for (const Case &c : cases) {
        const HostCheck host = check(0x14c, c.modules);
        EXPECT_EQ(host.runtime, c.runtime) << c.modules[0].dll;
        EXPECT_EQ(presets(host), c.presets) << c.modules[0].dll;
        std::vector<std::string> said = host.notes;
        said.insert(said.end(), host.reasons.begin(), host.reasons.end());
        if (!c.said.empty()) {
            EXPECT_EQ(said, c.said) << c.modules[0].dll;
        }
    }
}

TEST(CheckHost, RefusesNamesWeDoNotExportAndOrdinals)
{
    PeModule ours = named("kivvariantmanager.dll", {"KIVVMGetToolBarFile", "KIVVMInit", "Unrelated"}, true);
    ours.imports.push_back({"", 7});
    const HostCheck host = check(0x14c, {named("msvcr80.dll", {"free"}), ours});
    ASSERT_EQ(host.names.size(), 4U);
    EXPECT_EQ(host.names[0].nearest, "KIVVMGetTooBarFile");
    EXPECT_TRUE(host.names[1].exported);
    EXPECT_TRUE(host.names[1].delay_loaded);
    EXPECT_EQ(host.names[2].nearest, "");
    EXPECT_TRUE(host.builds.empty());
    EXPECT_EQ(host.reasons, (std::vector<std::string>{
                                "it imports KIVVMGetToolBarFile, which kivvariantmanager.dll does not export "
                                "(nearest: KIVVMGetTooBarFile)",
                                "it imports Unrelated, which kivvariantmanager.dll does not export",
                                "it imports ordinal 7 from kivvariantmanager.dll: ordinals are not part of the interface"}));
}

// A misspelt name is given the export within three edits of it (an
// insertion, a deletion or a change, in any case), if there is one.
TEST(CheckHost, NamesTheNearestExport)
{
    const std::pair<const char *, const char *> cases[] = {
        {"kivvminit", "KIVVMInit"},          {"KIVVMInitABC", "KIVVMInit"}, {"KIVVMInitABCD", ""},
        {"KIVVMI", "KIVVMInit"},             {"KIVVM", ""},                 {"KIVVMIxyz", "KIVVMInit"},
        {"KIVVMwxyz", ""},                   {"XIVVMInit", "KIVVMInit"},    {"KIVVMInix", "KIVVMInit"},
        {"KIVVMGetToolBarFile", "KIVVMGetTooBarFile"}, {"KIVVMFreeSetupPath", "KIVVMFreeSetupPaths"},
        {"Init", ""}, {"ABCDKIVVMInit", ""}, {"a", ""}, {"KIVVMGetToolIm", "KIVVMGetToolID"}};
    for (const auto &[name, nearest] : cases) {
        const HostCheck host = check(0x14c, {named("msvcr80.dll", {"free"}), named("kivvariantmanager.dll", {name})});
        ASSERT_EQ(host.names.size(), 1U);
        EXPECT_EQ(host.names[0].nearest, nearest) << name;
    }
}

// Off our runtimes a file is safe only if it never frees the list with its
// own runtime: its imports must show it.  Then any build of its
// architecture serves it.
TEST(CheckHost, ElsewhereOnlyWithKIVVMFreeSetupPaths)
{
    const PeModule runtime = named("MSVCR90.dll", {"free"});
    const HostCheck releases = check(0x14c, {runtime, kReleases});
    EXPECT_EQ(releases.runtime, RuntimeKind::other);
    EXPECT_EQ(releases.runtime_name, "msvcr90.dll");
    EXPECT_EQ(presets(releases), (std::vector<std::string>{"w86", "w86-ucrt", "w86-msvcrt"}));
    EXPECT_EQ(releases.notes, std::vector<std::string>{"no build of ours is on its C runtime (msvcr90.dll); any x86 "
                                                       "build will do, since it imports KIVVMFreeSetupPaths"});
    EXPECT_EQ(check(0x14c, {runtime, named("kivvariantmanager", {"KIVVMInit"})}).notes,
              std::vector<std::string>{"no build of ours is on its C runtime (msvcr90.dll); any x86 build will do, "
                                       "since it never imports KIVVMGetSetupPaths"});
    const HostCheck gets = check(0x14c, {runtime, kGets});
    EXPECT_TRUE(gets.builds.empty());
    EXPECT_EQ(gets.reasons.at(0).substr(0, 70), "no build of ours is on its C runtime (msvcr90.dll), and it imports KIV");
    const HostCheck linked = check(0x14c, {named("kernel32.dll", {"HeapFree"}), kGets});
    EXPECT_EQ(linked.runtime, RuntimeKind::linked);
    EXPECT_TRUE(linked.builds.empty());
    // A runtime's name may be its pattern's '*' matched by nothing.
    EXPECT_EQ(check(0x14c, {named("msvcr.dll", {"printf"}), kGets}).runtime_name, "msvcr.dll");
    // On one of our runtimes, but with no build for its architecture there.
    EXPECT_EQ(check(0x8664, {named("msvcr80.dll", {"free"}), kGets}).reasons,
              std::vector<std::string>{"no build of ours is for x64 on msvcr80"});
    // On one of our runtimes, KIVVMFreeSetupPaths opens every build too.
    EXPECT_EQ(presets(check(0x14c, {named("msvcr80.dll", {"free"}), kReleases})).size(), 3U);
}

TEST(CheckHost, ALoaderIsCheckedByTheNamesInItsStrings)
{
    const PeModule runtime = named("msvcr90.dll", {"free"});
    const HostCheck loader = check(0x14c, {runtime}, holding(true, {"KIVVMInit", "KIVVMGetSetupPaths", "KIVVMFreeSetupPath"}));
    EXPECT_TRUE(loader.loads_at_run_time);
    ASSERT_EQ(loader.names.size(), 3U);
    EXPECT_EQ(loader.names[2].nearest, "KIVVMFreeSetupPaths");
    EXPECT_EQ(loader.reasons.at(0), "its strings name KIVVMFreeSetupPath, which kivvariantmanager.dll does not export "
                                    "(nearest: KIVVMFreeSetupPaths)");
    EXPECT_NE(loader.reasons.at(1).find(", and its strings name KIVVMGetSetupPaths without"), std::string::npos);
    EXPECT_EQ(check(0x14c, {runtime}, holding(true, {"KIVVMFreeSetupPaths"})).notes,
              std::vector<std::string>{"no build of ours is on its C runtime (msvcr90.dll); any x86 build will do, "
                                       "since its strings name KIVVMFreeSetupPaths"});
    // Naming nothing of ours, it cannot be checked; off our runtimes it cannot fit.
    const HostCheck silent = check(0x14c, {runtime}, holding(true, {}));
    EXPECT_EQ(silent.notes.at(0), "its strings name no function of ours: what it asks GetProcAddress for cannot be "
                                  "checked");
    EXPECT_EQ(silent.reasons, std::vector<std::string>{"no build of ours is on its C runtime (msvcr90.dll), and "
                                                       "whether it releases the setup path list with "
                                                       "KIVVMFreeSetupPaths cannot be told from its strings"});
    EXPECT_EQ(presets(check(0x14c, {named("msvcr80.dll", {"free"})}, holding(true, {}))), std::vector<std::string>{"w86"});
    // Words without the DLL's name are not used; beside an import of it,
    // they are, the import tables' own names aside; a word far from every
    // export is of another use, and noted.
    EXPECT_FALSE(check(0x14c, {runtime}, holding(false, {"KIVVMInit"})).uses());
    struct Case {
        std::vector<PeModule> modules;
        std::vector<std::string> words;
        std::vector<std::string> names;  // each name, "strings" where its strings name it, "through" a forwarder
        std::vector<std::string> said;   // its notes, then its reasons
        std::vector<kivvm_tool::PeExport> exports = {};  // its own
    };
    const PeModule init = named("kivvariantmanager.dll", {"KIVVMInit"});
    // Another FILE of the process, whose exports forward to ours: by name,
    // by ordinal, and one to another DLL.
    const kivvm_tool::Forwarder wrapper{"plugins/w.dll", {"w.dll", "wrapper.dll"},
                                        {{"GetPaths", 4, "KivVariantManager.KIVVMGetSetupPaths"},
                                         {"", 5, "kivvariantmanager.dll.#13"}}};
    PeModule by_ordinal = named("WRAPPER", {"GetPaths"}, true);
    by_ordinal.imports.push_back({"", 5});
    const std::string corrupts = " without KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] "
                                 "would corrupt a heap";
    const Case cases[] = {
        {{runtime, kReleases}, {"KIVVMNope"}, {"KIVVMGetSetupPaths", "KIVVMFreeSetupPaths"},
         {"its strings hold KIVVMNope, no function of ours nor within three edits of one: not taken for a name it asks "
          "GetProcAddress for",
          "no build of ours is on its C runtime (msvcr90.dll); any x86 build will do, since it imports "
          "KIVVMFreeSetupPaths"}},
        {{runtime, init}, {"KIVVMInit", "KIVVMGetSetupPaths"}, {"KIVVMInit", "KIVVMGetSetupPaths strings"},
         {"no build of ours is on its C runtime (msvcr90.dll), and its strings name KIVVMGetSetupPaths without "
          "KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] would corrupt a heap"}},
        {{runtime, init}, {"KIVVMGetToolName"}, {"KIVVMInit", "KIVVMGetToolName strings"},
         {"no build of ours is on its C runtime (msvcr90.dll); any x86 build will do, since neither its imports nor "
          "its strings name KIVVMGetSetupPaths"}},
        {{runtime, init, named("other.dll", {"KIVVMOther"})}, {"KIVVMInit", "KIVVMOther", "KIVVMGetToolNam"},
         {"KIVVMInit", "KIVVMGetToolNam strings"},
         {"its strings name KIVVMGetToolNam, which kivvariantmanager.dll does not export (nearest: KIVVMGetToolName)"}},
        {{named("msvcr80.dll", {"free"}), init}, {"KIVVM_TRACE", "KIVVMFreeSetupPaths"},
         {"KIVVMInit", "KIVVMFreeSetupPaths strings"},
         {"its strings hold KIVVM_TRACE, no function of ours nor within three edits of one: not taken for a name it "
          "asks GetProcAddress for",
          "any x86 build will do, since its strings name KIVVMFreeSetupPaths"}},
        {{runtime, named("w.dll", {"GetPaths", "Other"})}, {}, {"KIVVMGetSetupPaths through plugins/w.dll"},
         {"no build of ours is on its C runtime (msvcr90.dll), and it imports KIVVMGetSetupPaths through "
          "plugins/w.dll" + corrupts}},
        {{runtime, by_ordinal}, {}, {"KIVVMGetSetupPaths delayed through plugins/w.dll", " delayed through plugins/w.dll"},
         {"it imports ordinal 13 through plugins/w.dll from kivvariantmanager.dll: ordinals are not part of the "
          "interface",
          "no build of ours is on its C runtime (msvcr90.dll), and it imports KIVVMGetSetupPaths through "
          "plugins/w.dll" + corrupts}},
        // A forwarder of its own: its names are checked, its heap is not.
        {{runtime}, {}, {},
         {"it only forwards to kivvariantmanager.dll: the files that import those functions from it are judged for them",
          "it forwards Paths to KIVVMGetSetupPath, which kivvariantmanager.dll does not export (nearest: "
          "KIVVMGetSetupPaths)",
          "it forwards #9 to #3 of kivvariantmanager.dll: ordinals are not part of the interface",
          "it forwards Far to Unrelated, which kivvariantmanager.dll does not export",
          "it forwards Hash to #, which kivvariantmanager.dll does not export"},
         {{"Paths", 1, "kivvariantmanager.KIVVMGetSetupPath"}, {"", 9, "kivvariantmanager.#3"},
          {"Far", 4, "kivvariantmanager.Unrelated"}, {"Hash", 6, "kivvariantmanager.#"},
          {"Other", 2, "other.KIVVMInit"}, {"Dotless", 3, "kivvariantmanager"}}},
    };
    for (const Case &c : cases) {
        PeImage image = image_of(0x14c, c.modules);
        image.exports = c.exports;
        const HostCheck host = check_host(image, holding(!c.words.empty(), c.words), {wrapper}, kFacts);
        std::vector<std::string> names;
        for (const kivvm_tool::NameCheck &entry : host.names) {
            names.push_back(entry.name + (entry.from_strings ? " strings" : "") + (entry.delay_loaded ? " delayed" : "") +
                            (entry.through.empty() ? "" : " through " + entry.through));
        }
        EXPECT_EQ(names, c.names);
        std::vector<std::string> said = host.notes;
        said.insert(said.end(), host.reasons.begin(), host.reasons.end());
        EXPECT_EQ(said, c.said);
        EXPECT_FALSE(host.loads_at_run_time);
        EXPECT_TRUE(host.uses());
    }
    // A forwarder is what other FILEs import from; one to another DLL, or a
    // file of ours itself, is none.
    PeImage forwarding = image_of(0x14c, {});
    forwarding.export_name = "wrapper.dll";
    forwarding.exports = {{"GetPaths", 4, "kivvariantmanager.KIVVMGetSetupPaths"}, {"Other", 5, "other.Other"}};
    const std::optional<kivvm_tool::Forwarder> found = kivvm_tool::forwarder_of("dir\\w.dll", forwarding, kFacts);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->names, (std::vector<std::string>{"w.dll", "wrapper.dll"}));
    ASSERT_EQ(found->exports.size(), 1U);
    EXPECT_EQ(found->exports[0].name, "GetPaths");
    EXPECT_EQ(kivvm_tool::forwarder_of("wx.dll", forwarding, kFacts)->names[0], "wx.dll");
    forwarding.exports.erase(forwarding.exports.begin());
    EXPECT_FALSE(kivvm_tool::forwarder_of("w.dll", forwarding, kFacts).has_value());
    forwarding.export_name = "KIVVARIANTMANAGER.DLL";
    const HostCheck itself = check_host(forwarding, holding(true, {"KIVVMInit"}), {}, kFacts);
    EXPECT_TRUE(itself.is_our_dll);
    EXPECT_FALSE(itself.uses());
    const std::string text = kivvm_tool::check_host_text(judged({{"k.dll", "", itself}}), kFacts);
    EXPECT_EQ(text.substr(0, text.find("\n\n")), "k.dll\n  architecture: x86 (machine 0x14c)\n  C runtime: linked in "
              "statically (it imports no C runtime DLL)\n  uses kivvariantmanager.dll: no, it is one\n  note: its export "
              "directory names it KIVVARIANTMANAGER.DLL: it is a kivvariantmanager.dll, not a file that uses one");
}

TEST(CheckHost, RefusesAnArchitectureWeDoNotBuild)
{
    const HostCheck host = check(0xaa64, {named("ucrtbase.dll", {"free"}), kGets});
    EXPECT_EQ(host.architecture, "");
    EXPECT_EQ(host.machine, 0xaa64);
    EXPECT_TRUE(host.builds.empty());
    EXPECT_EQ(host.reasons, std::vector<std::string>{"its architecture (machine 0xaa64) is none we build a DLL for "
                                                     "(x86, x64)"});
    EXPECT_TRUE(check(0xaa64, {named("ucrtbase.dll", {"free"})}).reasons.empty());
}

// One DLL serves the whole process: the build every file that uses it
// accepts, preferring a runtime the process loads, then one every Windows
// has.  Without a DLL checked, or a file seen to use one, nothing proves
// that it fits.
TEST(Process, OneBuildForEveryFileThatUsesTheDll)
{
    const auto judge = [](std::vector<HostFile> files, const char *program = nullptr) {
        return judged(std::move(files), std::nullopt, program).verdict;
    };
    const HostFile msvcr80{"host.exe", "", check(0x14c, {named("msvcr80.dll", {"free"}), kGets})};
    const HostFile ucrt{"ucrt.dll", "", check(0x14c, {named("ucrtbase.dll", {"free"}), kGets})};
    const HostFile linked{"linked.dll", "", check(0x14c, {kReleases})};
    const HostFile unrelated{"other.dll", "", check(0x14c, {named("ucrtbase.dll", {"free"})})};
    const HostFile unread{"gone.dll", "cannot open it", {}};

    kivvm_tool::Verdict verdict = judge({msvcr80, linked, unrelated});
    EXPECT_EQ(verdict.fits, Fits::cannot_tell);
    EXPECT_EQ(verdict.build.preset, "w86");
    EXPECT_EQ(verdict.reasons, std::vector<std::string>{"no kivvariantmanager.dll was checked: put the one from a.zip "
                                                        "beside host.exe, or name one with --dll"});
    EXPECT_EQ(judge({linked}).build.preset, "w86-msvcrt");
    EXPECT_EQ(judge({linked, unrelated}).build.preset, "w86-ucrt");
    verdict = judge({msvcr80, ucrt, linked});
    EXPECT_EQ(verdict.fits, Fits::no);
    EXPECT_FALSE(verdict.has_build);
    EXPECT_EQ(verdict.reasons, (std::vector<std::string>{"host.exe needs w86 (a.zip)", "ucrt.dll needs w86-ucrt (c.zip)",
                                                         "linked.dll needs one of w86 (a.zip), w86-ucrt (c.zip), "
                                                         "w86-msvcrt (d.zip)"}));
    // Runtimes the process loads, neither one every Windows has: the first.
    const HostFile msvcr80_releases{"a.dll", "", check(0x14c, {named("msvcr80.dll", {"free"}), kReleases})};
    const HostFile ucrt_releases{"b.dll", "", check(0x14c, {named("ucrtbase.dll", {"free"}), kReleases})};
    EXPECT_EQ(judge({ucrt_releases, msvcr80_releases}).build.preset, "w86");
    verdict = judge({unrelated});
    EXPECT_EQ(verdict.fits, Fits::cannot_tell);
    EXPECT_FALSE(verdict.has_build);
    EXPECT_EQ(verdict.reasons.at(0), "no FILE imports kivvariantmanager.dll (directly, delay-loaded, or through a "
                                     "FILE that forwards to it), forwards to it, or names it in its strings (in any "
                                     "case, with or without .dll, in ASCII or UTF-16LE)");
    verdict = judge({msvcr80, unread});
    EXPECT_EQ(verdict.fits, Fits::cannot_tell);
    EXPECT_EQ(verdict.reasons, (std::vector<std::string>{
                                   "host.exe needs w86 (a.zip)",
                                   "gone.dll: it cannot be read, so whether it uses kivvariantmanager.dll is unknown",
                                   "no kivvariantmanager.dll was checked: put one of ours beside host.exe, or name "
                                   "one with --dll"}));
    EXPECT_EQ(judge({linked}, "").reasons, std::vector<std::string>{
                                               "no FILE is a program, so which kivvariantmanager.dll will load cannot be "
                                               "told: name the program among the FILEs, or the DLL with --dll"});
    // One process loads files of its program's machine only.
    const HostFile x64{"x64.dll", "", check(0x8664, {named("ucrtbase.dll", {"free"}), kGets})};
    verdict = judge({msvcr80, x64});
    EXPECT_EQ(verdict.fits, Fits::no);
    EXPECT_EQ(verdict.reasons, (std::vector<std::string>{"host.exe is for x86 and x64.dll for x64: one process cannot "
                                                         "load both",
                                                         "host.exe needs w86 (a.zip)", "x64.dll needs w64 (b.zip)"}));
    EXPECT_EQ(judge({x64, unrelated}, "x64.dll").reasons.at(0), "x64.dll is for x64 and other.dll for x86: one process "
                                                                "cannot load both");
    EXPECT_EQ(judge({HostFile{"bad.exe", "", check(0xaa64, {kGets})}}).reasons.at(0), "bad.exe: no build serves it");
}

// The text: each file's facts, then the verdict.
TEST(Process, TextSaysEachFileThenTheVerdict)
{
    PeModule ours = named("kivvariantmanager.dll", {"KIVVMGetSetupPaths", "Unrelated"}, true);
    ours.imports.push_back({"", 3});
    const std::vector<HostFile> files = {
        {"a.dll", "", check(0x14c, {named("msvcr90.dll", {"free"})}, holding(true, {"KIVVMInit"}))},
        {"b.exe", "", check(0x1c4, {named("msvcrt.dll", {"printf"}), named("MSVCR80.dll", {"_ZdaPv"}), ours})},
        {"c.exe", "", check(0x14c, {named("msvcr80.dll", {"free"}), kGets})},
        {"d.dll", "cannot open it", {}},
        {"e.dll", "", check(0x14c, {named("kernel32.dll", {"HeapFree"})})}};
    EXPECT_EQ(kivvm_tool::check_host_text(judged(files), kFacts),
              "a.dll\n"
              "  architecture: x86 (machine 0x14c)\n"
              "  C runtime: msvcr90.dll, which no build of ours is on\n"
              "  frees with: free from msvcr90.dll\n"
              "  names kivvariantmanager.dll in its image: loads it at run time, probably with LoadLibrary\n"
              "  names from its strings, not from an import table:\n"
              "    KIVVMInit: exported\n"
              "  builds that serve it: w86, w86-ucrt, w86-msvcrt\n"
              "  note: no build of ours is on its C runtime (msvcr90.dll); any x86 build will do, since its "
              "strings never name KIVVMGetSetupPaths\n"
              "\n"
              "b.exe\n"
              "  architecture: none of ours (machine 0x1c4)\n"
              "  C runtime: more than one: it frees with msvcr80 while it imports msvcrt.dll too\n"
              "  frees with: _ZdaPv from MSVCR80.dll\n"
              "  imports from kivvariantmanager.dll:\n"
              "    KIVVMGetSetupPaths: exported, delay-loaded\n"
              "    Unrelated: not exported, delay-loaded\n"
              "    ordinal 3: by ordinal, delay-loaded\n"
              "  builds that serve it: none\n"
              "  why: its architecture (machine 0x1c4) is none we build a DLL for (x86, x64)\n"
              "  why: it imports Unrelated, which kivvariantmanager.dll does not export\n"
              "  why: it imports ordinal 3 from kivvariantmanager.dll: ordinals are not part of the interface\n"
              "  why: it frees with msvcr80 while it imports msvcrt.dll too, and it imports "
              "KIVVMGetSetupPaths without KIVVMFreeSetupPaths: releasing the list with its own free() or "
              "delete[] would corrupt a heap\n"
              "\n"
              "c.exe\n"
              "  architecture: x86 (machine 0x14c)\n"
              "  C runtime: msvcr80 (msvcr80.dll)\n"
              "  frees with: free from msvcr80.dll\n"
              "  imports from kivvariantmanager.dll:\n"
              "    KIVVMInit: exported\n"
              "    KIVVMGetSetupPaths: exported\n"
              "  builds that serve it: w86\n"
              "\n"
              "d.dll\n"
              "  error: cannot open it\n"
              "\n"
              "e.dll\n"
              "  architecture: x86 (machine 0x14c)\n"
              "  C runtime: linked in statically (it imports no C runtime DLL)\n"
              "  uses kivvariantmanager.dll: no, it neither imports nor names it\n"
              "\n"
              "kivvariantmanager.dll: none checked: there is none beside a.dll, and no --dll names one\n"
              "\n"
              "verdict: none can be named, since not every file can be read\n"
              "  a.dll is for x86 and b.exe for machine 0x1c4: one process cannot load both\n"
              "  a.dll needs one of w86 (a.zip), w86-ucrt (c.zip), w86-msvcrt (d.zip)\n"
              "  b.exe: no build serves it\n"
              "  c.exe needs w86 (a.zip)\n"
              "  d.dll: it cannot be read, so whether it uses kivvariantmanager.dll is unknown\n"
              "fits: no\n");
    const std::vector<HostFile> one = {files[2], files[4]};
    const std::string text = kivvm_tool::check_host_text(judged(one), kFacts);
    EXPECT_EQ(text.substr(text.find("\nverdict")),
              "\nverdict: w86 (a.zip) serves every file that uses kivvariantmanager.dll\n"
              "  no kivvariantmanager.dll was checked: put the one from a.zip beside c.exe, or name one with --dll\n"
              "  note: kivvariantmanager.dll binds Microsoft.VC80.CRT 8.0.50727.762, which the Visual C++ 2005 SP1 "
              "redistributable (8.0.50727.762) provides: it must be installed, which these files cannot show\n"
              "fits: cannot tell\n");
    const std::string json = kivvm_tool::check_host_json(judged(one));
    EXPECT_EQ(json.substr(json.find("\n], ")), "\n], \"program\": \"c.exe\", \"dll\": null, \"verdict\": {\"fits\": null, "
                                               "\"build\": {\"preset\": \"w86\", \"architecture\": \"x86\", \"runtime\": "
                                               "\"msvcr80\", \"zip\": \"a.zip\"}, \"reasons\": [\"no kivvariantmanager.dll "
                                               "was checked: put the one from a.zip beside c.exe, or name one with "
                                               "--dll\"], \"instead\": null, \"notes\": [\"kivvariantmanager.dll "
                                               "binds Microsoft.VC80.CRT 8.0.50727.762, which the Visual C++ 2005 SP1 "
                                               "redistributable (8.0.50727.762) provides: it must be installed, "
                                               "which these files cannot show\"]}}");
}

// The JSON: every file with the same keys, each holding one kind of fact.
TEST(Process, JsonSaysEachFactOnce)
{
    PeModule ordinal = named("KIVVARIANTMANAGER.DLL", {"KIVVMFreeSetupPaths"}, true);
    ordinal.imports.push_back({"", 3});
    PeImage forwards = image_of(0x14c, {named("msvcr90.dll", {"free"})});
    forwards.exports = {{"", 4, "kivvariantmanager.KIVVMInit"}};
    const std::vector<HostFile> files = {
        {"a.dll", "", check_host(forwards, holding(true, {"KIVVMInit", "KIVVMGetSetupPath"}), {}, kFacts)},
        {"b.exe", "", check(0x14c, {ordinal})},
        {"c.exe", "", check(0x14c, {named("msvcr80.dll", {"free"}), kGets})},
        {"d.dll", "cannot open it", {}}};
    const std::string unread = "\"program\": null, \"machine\": null, \"architecture\": null, \"c_runtime\": null, "
                               "\"c_runtime_is_ours\": null, \"c_runtime_is_static\": null, \"c_runtime_dlls\": [], "
                               "\"frees_with\": [], \"uses_our_dll\": null, \"loads_at_run_time\": null, ";
    EXPECT_EQ(kivvm_tool::check_host_json(judged(files)),
              "{\"files\": [\n"
              "  {\"file\": \"a.dll\", \"error\": null, \"program\": true, \"machine\": 332, \"architecture\": \"x86\", "
              "\"c_runtime\": \"msvcr90.dll\", \"c_runtime_is_ours\": false, \"c_runtime_is_static\": false, "
              "\"c_runtime_dlls\": [\"msvcr90.dll\"], \"frees_with\": [{\"function\": \"free\", \"dll\": \"msvcr90.dll\"}], "
              "\"uses_our_dll\": true, \"loads_at_run_time\": true, \"names\": [{\"name\": \"KIVVMInit\", "
              "\"ordinal\": null, \"delay_loaded\": false, \"from_strings\": true, \"through\": null, \"exported\": true, "
              "\"nearest\": null}, {\"name\": \"KIVVMGetSetupPath\", \"ordinal\": null, \"delay_loaded\": false, "
              "\"from_strings\": true, \"through\": null, \"exported\": false, \"nearest\": \"KIVVMGetSetupPaths\"}], "
              "\"forwards\": [{\"export\": \"#4\", \"name\": \"KIVVMInit\", \"ordinal\": null, \"exported\": true, "
              "\"nearest\": null}], \"builds\": [], \"manifest_binds\": [], \"notes\": [], \"reasons\": [\"its strings name "
              "KIVVMGetSetupPath, which kivvariantmanager.dll does not export (nearest: KIVVMGetSetupPaths)\"], "
              "\"fits\": false},\n"
              "  {\"file\": \"b.exe\", \"error\": null, \"program\": true, \"machine\": 332, \"architecture\": \"x86\", "
              "\"c_runtime\": null, \"c_runtime_is_ours\": false, \"c_runtime_is_static\": true, \"c_runtime_dlls\": [], "
              "\"frees_with\": [], \"uses_our_dll\": true, \"loads_at_run_time\": false, "
              "\"names\": [{\"name\": \"KIVVMFreeSetupPaths\", \"ordinal\": null, \"delay_loaded\": true, "
              "\"from_strings\": false, \"through\": null, \"exported\": true, \"nearest\": null}, {\"name\": null, "
              "\"ordinal\": 3, \"delay_loaded\": true, \"from_strings\": false, \"through\": null, \"exported\": false, "
              "\"nearest\": null}], \"forwards\": [], \"builds\": [], \"manifest_binds\": [], \"notes\": [], "
              "\"reasons\": [\"it imports ordinal 3 from kivvariantmanager.dll: ordinals are not part of the interface\"], "
              "\"fits\": false},\n"
              "  {\"file\": \"c.exe\", \"error\": null, \"program\": true, \"machine\": 332, \"architecture\": \"x86\", "
              "\"c_runtime\": \"msvcr80\", \"c_runtime_is_ours\": true, \"c_runtime_is_static\": false, "
              "\"c_runtime_dlls\": [\"msvcr80.dll\"], \"frees_with\": [{\"function\": \"free\", \"dll\": \"msvcr80.dll\"}], "
              "\"uses_our_dll\": true, \"loads_at_run_time\": false, \"names\": [{\"name\": \"KIVVMInit\", "
              "\"ordinal\": null, \"delay_loaded\": false, \"from_strings\": false, \"through\": null, \"exported\": true, "
              "\"nearest\": null}, {\"name\": \"KIVVMGetSetupPaths\", \"ordinal\": null, \"delay_loaded\": false, "
              "\"from_strings\": false, \"through\": null, \"exported\": true, \"nearest\": null}], \"forwards\": [], "
              "\"builds\": [\"w86\"], \"manifest_binds\": [], \"notes\": [], \"reasons\": [], \"fits\": true},\n"
              "  {\"file\": \"d.dll\", \"error\": \"cannot open it\", " + unread +
              "\"names\": [], \"forwards\": [], \"builds\": [], \"manifest_binds\": [], \"notes\": [], \"reasons\": [], "
              "\"fits\": false}\n"
              "], \"program\": \"a.dll\", \"dll\": null, \"verdict\": {\"fits\": false, \"build\": null, \"reasons\": "
              "[\"a.dll: no build serves it\", \"b.exe: no build serves it\", \"c.exe needs w86 (a.zip)\", \"d.dll: it "
              "cannot be read, so whether it uses kivvariantmanager.dll is unknown\"], \"instead\": null, \"notes\": []}}");
}

// A DLL's image: its machine, its C runtime DLL (none when empty), its
// exports, its version resource (a fixed part with that file version, the
// product version one less in its last number, a CompanyName, a
// ProductName, and the build it names: its own architecture and C runtime
// unless said otherwise, none where "" is said) and its manifest (resource
// ID 2), which binds that VC80 runtime for its architecture with
// Microsoft's key.
PeImage dll_image(std::uint16_t machine, const char *runtime, std::vector<std::string> exports,
                  std::array<std::uint16_t, 4> version, const char *product, const char *binds,
                  const char *build_architecture = nullptr, const char *build_runtime = nullptr)
{
    PeImage image;
    image.machine = machine;
    image.dll = true;
    image.export_name = "kivvariantmanager.dll";
    if (*runtime != '\0') {
        image.modules.push_back(named(runtime, {"malloc"}));
    }
    for (std::size_t i = 0; i < exports.size(); ++i) {
        image.exports.push_back({exports[i], i + 1, ""});
    }
    std::string crt = runtime;
    std::transform(crt.begin(), crt.end(), crt.begin(), [](unsigned char c) { return std::tolower(c); });
    crt = crt == "msvcr80.dll" ? "msvcr80" : crt == "ucrtbase.dll" ? "ucrt" : crt == "msvcrt.dll" ? "msvcrt" : crt;
    const std::string architecture = build_architecture != nullptr ? build_architecture
                                     : machine == 0x14c            ? "x86"
                                     : machine == 0x8664           ? "x64"
                                                                   : "arm64";
    crt = build_runtime != nullptr ? build_runtime : crt;
    std::vector<std::string> strings = {version_block("CompanyName", utf16("Someone"), true),
                                        version_block("ProductName", utf16(product), true)};
    if (!architecture.empty()) {
        strings.push_back(version_block("Architecture", utf16(architecture), true));
    }
    if (!crt.empty()) {
        strings.push_back(version_block("CRuntime", utf16(crt), true));
    }
    if (version[0] != 0) {
        std::string fixed(52, '\0');
        const std::uint32_t words[] = {0xfeef04bdU, 0x10000U, std::uint32_t{version[0]} << 16U | version[1],
                                       std::uint32_t{version[2]} << 16U | version[3],
                                       std::uint32_t{version[0]} << 16U | version[1],
                                       std::uint32_t{version[2]} << 16U | std::uint16_t(version[3] - 1)};
        for (std::size_t i = 0; i < std::size(words); ++i) {
            for (std::size_t byte = 0; byte < 4; ++byte) {
                fixed[4 * i + byte] = static_cast<char>(words[i] >> (8 * byte) & 0xffU);
            }
        }
        image.version = version_block(
            "VS_VERSION_INFO", fixed, false,
            {version_block("StringFileInfo", "", true,
                           {version_block("040904B0", "", true, strings)})});
    }
    if (*binds != '\0') {
        image.manifest = std::string("<dependentAssembly><assemblyIdentity name=\"Microsoft.VC80.CRT\" version=\"") +
                         binds + "\" processorArchitecture=\"" + (machine == 0x8664 ? "amd64" : "x86") +
                         "\" publicKeyToken=\"1fc8b3b9a1e18e3b\"/></dependentAssembly>";
        image.manifest_name = "2";
    }
    return image;
}

// An image with a change made to it.
PeImage changed(PeImage image, const std::function<void(PeImage &)> &change)
{
    change(image);
    return image;
}

const std::vector<std::string> kAll = {"KIVVMInit", "KIVVMGetSetupPaths", "KIVVMFreeSetupPaths"};

// The DLL that will load, judged with the files of the process: a host on
// msvcr80 that frees the list itself needs the x86 build on msvcr80 (w86,
// a.zip), of our version (1.2.3) and our name, proven ours by its version
// resource, with what it imports as functions of its own, bound to the
// VC80 runtime our builds bind.
TEST(Dll, JudgedWithTheFilesThatUseIt)
{
    const std::vector<HostFile> host = {
        {"host.exe", "", check(0x14c, {named("msvcr80.dll", {"free"}), kGets})},
        {"loader.exe", "", check(0x14c, {named("msvcr80.dll", {"free"})}, holding(true, {"KIVVMGetSetupPaths"}))}};
    struct Case {
        PeImage image;
        std::string said;  // its reasons and notes, a line each, then the zip to take
    };
    const char *vc80 = "8.0.50727.762";
    const PeImage ours = dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80);
    const auto forwarding = [](const char *name, const char *to) {
        return [=](PeImage &image) {
            for (kivvm_tool::PeExport &entry : image.exports) {
                entry.forward = entry.name == name ? to : entry.forward;
            }
        };
    };
    const auto binding = [](const char *from, const char *to) {
        return [=](PeImage &image) { image.manifest.replace(image.manifest.find(from), std::strlen(from), to); };
    };
    const std::string wont = ": Windows will not find that runtime, and the DLL does not load\na.zip";
    const Case cases[] = {
        {dll_image(0x14c, "MSVCR80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80), ""},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 10, 0, 0}, "kivvariantmanager", vc80),
         "note: it is version 1.10.0.0 and this kivvm 1.2.3: a newer one of the same major version serves every "
         "host of an older one\n"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 2, 9}, "kivvariantmanager", vc80),
         "note: it is version 1.2.2.9 and this kivvm 1.2.3: an older one may lack functions, which its export "
         "table shows\n"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {0, 0, 0, 0}, "", vc80),
         "why: it has no version resource: nothing proves it is kivvariantmanager's\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {2, 0, 0, 0}, "kivvariantmanager", vc80),
         "why: it is version 2.0.0.0 and this kivvm 1.2.3: another major version is another interface\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "Other", vc80),
         "why: its version resource names another product (Other): it is not kivvariantmanager's\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "", vc80),
         "why: its version resource names no product: nothing proves it is kivvariantmanager's\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", {"KIVVMGetSetupPaths"}, {1, 2, 3, 0}, "kivvariantmanager", vc80),
         "why: it exports no KIVVMInit: it is not kivvariantmanager's\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", {"KIVVMInit", "KIVVMGetSetupPath"}, {1, 2, 3, 0}, "kivvariantmanager", vc80),
         "why: host.exe imports KIVVMGetSetupPaths, which this DLL does not export\n"
         "why: loader.exe's strings name KIVVMGetSetupPaths, which this DLL does not export\na.zip"},
        // A look-alike: every name, but nothing that says which build it is,
        // or a build it is not; or functions it forwards, which ours never do.
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80, "", ""),
         "why: its version resource does not name its build (Architecture and CRuntime), as every build of ours "
         "does: nothing proves it is one of ours\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80, nullptr, ""),
         "why: its version resource does not name its build (Architecture and CRuntime), as every build of ours "
         "does: nothing proves it is one of ours\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80, "x64", nullptr),
         "why: its version resource says it is for x64, and it is for x86: it is not the build it says\na.zip"},
        {dll_image(0x14c, "ucrtbase.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "", nullptr, "msvcr80"),
         "why: its version resource says it is on msvcr80, and it imports ucrtbase.dll: it is not the build it says\n"
         "why: it is the build on ucrt, and these files need the one on msvcr80\na.zip"},
        {changed(ours, forwarding("KIVVMGetSetupPaths", "kivvariantmanager-ucrt.KIVVMGetSetupPaths")),
         "why: it forwards KIVVMGetSetupPaths (to kivvariantmanager-ucrt.KIVVMGetSetupPaths), and our builds forward "
         "nothing: it is not kivvariantmanager's\na.zip"},
        {changed(ours, forwarding("KIVVMFreeSetupPaths", "gone.KIVVMFreeSetupPaths")), ""},
        {dll_image(0x8664, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", vc80),
         "why: it is for x64 and host.exe for x86: Windows will not load it\na.zip"},
        {dll_image(0xaa64, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "", "", ""),
         "why: its version resource does not name its build (Architecture and CRuntime), as every build of ours does: "
         "nothing proves it is one of ours\n"
         "why: it is for machine 0xaa64 and host.exe for x86: Windows will not load it\na.zip"},
        {dll_image(0x14c, "ucrtbase.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", ""),
         "why: it is the build on ucrt, and these files need the one on msvcr80\na.zip"},
        {dll_image(0x14c, "msvcr90.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", ""),
         "why: its version resource names a C runtime we build no DLL for (msvcr90.dll): it is not one of ours\n"
         "why: it imports msvcr90.dll, and these files need the one on msvcr80\na.zip"},
        {dll_image(0x14c, "", kAll, {1, 2, 3, 0}, "kivvariantmanager", "", nullptr, "msvcrt"),
         "why: its version resource says it is on msvcrt, and it imports no C runtime DLL: it is not the build it "
         "says\nwhy: it imports no C runtime DLL, and these files need the one on msvcr80\na.zip"},
        // The VC80 binding: its name, version, architecture and key, each;
        // and the resource ID Windows reads a DLL's own manifest from.
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", ""),
         "why: it imports msvcr80.dll but its manifest binds no Microsoft.VC80.CRT: Windows will not find that "
         "runtime, and the DLL does not load\na.zip"},
        {dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.50608.0"),
         "why: its manifest binds Microsoft.VC80.CRT 8.0.50608.0, and our builds bind 8.0.50727.762\na.zip"},
        {changed(ours, binding("\"x86\"", "\"arm\"")),
         "why: its manifest binds Microsoft.VC80.CRT for processorArchitecture \"arm\", and a DLL for x86 needs "
         "\"x86\"" + wont},
        {changed(ours, binding("Microsoft.VC80.CRT", "Microsoft.Windows.Common-Controls")),
         "why: it imports msvcr80.dll but its manifest binds no Microsoft.VC80.CRT" + wont},
        {changed(ours, binding("1fc8b3b9a1e18e3b", "0000000000000000")),
         "why: its manifest binds Microsoft.VC80.CRT with publicKeyToken \"0000000000000000\", not "
         "\"1fc8b3b9a1e18e3b\"" + wont},
        {changed(ours, binding(" publicKeyToken=\"1fc8b3b9a1e18e3b\"", "")),
         "why: its manifest binds Microsoft.VC80.CRT with publicKeyToken \"\", not \"1fc8b3b9a1e18e3b\"" + wont},
        {changed(ours, [](PeImage &image) { image.version[40] = '\0'; }),
         "note: it has no version in its version resource's fixed part: which version it is cannot be told\n"},
        {changed(ours, [](PeImage &image) { image.manifest_name = "1"; }),
         "note: its manifest is resource ID 1, and Windows documents ID 2 for a DLL's own dependencies "
         "(ISOLATIONAWARE_MANIFEST_RESOURCE_ID): it may bind nothing\n"},
    };
    for (const Case &c : cases) {
        const ProcessCheck process = judged(host, kivvm_tool::check_dll("kivvariantmanager.dll", c.image, kFacts));
        std::string said;
        for (const std::string &note : process.dll->notes) {
            said += "note: " + note + "\n";
        }
        for (const std::string &reason : process.dll->reasons) {
            said += "why: " + reason + "\n";
        }
        EXPECT_EQ(said + process.verdict.instead, c.said);
        EXPECT_EQ(process.verdict.fits, process.dll->reasons.empty() ? Fits::yes : Fits::no) << c.said;
        EXPECT_EQ(process.verdict.build.preset, "w86") << c.said;
    }
    // What a file forwards to it is asked of it too; a name a file
    // misspells is the file's fault, not the DLL's.
    PeImage forwards = image_of(0x14c, {});
    forwards.dll = true;
    forwards.exports = {{"Paths", 1, "kivvariantmanager.KIVVMGetSetupPaths"},
                        {"", 7, "kivvariantmanager.KIVVMGetSetupPaths"}, {"Bad", 8, "kivvariantmanager.KIVVMGetPaths"}};
    const HostFile forwarder{"f.dll", "", check_host(forwards, {}, {}, kFacts)};
    const HostFile misspelt{"m.dll", "", check(0x14c, {named("kivvariantmanager.dll", {"KIVVMInit", "KIVVMGetPaths"})})};
    const PeImage init = dll_image(0x14c, "msvcr80.dll", {"KIVVMInit"}, {1, 2, 3, 0}, "kivvariantmanager", vc80);
    EXPECT_EQ(judged({host[0], forwarder, misspelt}, kivvm_tool::check_dll("k.dll", init, kFacts)).dll->reasons,
              (std::vector<std::string>{"host.exe imports KIVVMGetSetupPaths, which this DLL does not export",
                                        "f.dll forwards Paths to KIVVMGetSetupPaths, which this DLL does not export",
                                        "f.dll forwards #7 to KIVVMGetSetupPaths, which this DLL does not export"}));
    // A process that does not use it asks only that it be ours; among
    // builds that all serve, the DLL's own is named.
    const auto dll = [](const PeImage &image) { return kivvm_tool::check_dll("x.dll", image, kFacts); };
    const HostFile unrelated{"e.dll", "", check(0x14c, {named("kernel32.dll", {"HeapFree"})})};
    EXPECT_EQ(judged({unrelated}, dll(dll_image(0x14c, "", {}, {0, 0, 0, 0}, "", ""))).verdict.fits, Fits::no);
    EXPECT_EQ(judged({unrelated}, dll(ours)).verdict.fits, Fits::cannot_tell);
    const HostFile releases{"r.exe", "", check(0x14c, {named("msvcrt.dll", {"free"}), kReleases})};
    const PeImage ucrt = dll_image(0x14c, "ucrtbase.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "");
    EXPECT_EQ(judged({releases}).verdict.build.preset, "w86-msvcrt");
    EXPECT_EQ(judged({releases}, dll(ucrt)).verdict.build.preset, "w86-ucrt");
    EXPECT_EQ(judged({releases}, dll(ucrt)).verdict.fits, Fits::yes);
    EXPECT_EQ(judged({releases}, dll(changed(ucrt, forwarding("KIVVMInit", "x.KIVVMInit")))).dll->reasons,
              std::vector<std::string>{"it forwards KIVVMInit (to x.KIVVMInit), and our builds forward nothing: it is "
                                       "not kivvariantmanager's"});
    // One that will not serve is not the build named, though its runtime
    // would be; files that do not use it (or cannot be read) say nothing of
    // its architecture; a process without a program has no DLL beside it,
    // but one named is checked.
    const PeImage lacking = dll_image(0x14c, "ucrtbase.dll", {"KIVVMInit"}, {1, 2, 3, 0}, "kivvariantmanager", "");
    EXPECT_EQ(judged({releases}, dll(lacking)).verdict.instead, "d.zip");
    const HostFile x64{"u.dll", "", check(0x8664, {named("kernel32.dll", {"HeapFree"})})};
    ProcessCheck process = judged({x64, host[0]}, dll(ours), "host.exe");
    EXPECT_EQ(process.verdict.fits, Fits::no);
    EXPECT_EQ(process.verdict.reasons.at(0), "host.exe is for x86 and u.dll for x64: one process cannot load both");
    EXPECT_TRUE(process.dll->reasons.empty());
    process = judged({HostFile{"gone.dll", "cannot open it", {}}, host[0]}, dll(ours), "host.exe");
    EXPECT_EQ(process.verdict.fits, Fits::cannot_tell);
    EXPECT_TRUE(process.dll->reasons.empty());
    process = judged({host[0]}, dll(ours), "");
    EXPECT_EQ(process.verdict.fits, Fits::yes);
}

// The VC80 runtime the DLL binds must be installed; a host's older binding
// needs it installed too.  The redistributable is the oldest that has it.
TEST(Dll, Vc80BindingAndItsRedistributable)
{
    for (const auto &[version, release] : std::vector<std::pair<const char *, const char *>>{
             {"8.0.50608.0", "the Visual C++ 2005 redistributable (8.0.50727.42)"},
             {"8.0.50727.42", "the Visual C++ 2005 redistributable (8.0.50727.42)"},
             {"8.0.50727.43", "the Visual C++ 2005 SP1 redistributable (8.0.50727.762)"},
             {"8.0.50727.762", "the Visual C++ 2005 SP1 redistributable (8.0.50727.762)"},
             {"8.0.50727.4053", "the Visual C++ 2005 SP1 redistributable's ATL security update (KB973544) "
                                "(8.0.50727.4053)"},
             {"8.0.50727.4054", "the Visual C++ 2005 SP1 redistributable's MFC security update (KB2538242) "
                                "(8.0.50727.6195)"},
             {"8.0.50727.6196", "no Visual C++ 2005 redistributable this kivvm knows (the newest, 8.0.50727.6195, "
                                "is older)"},
             {"8.1", "no Visual C++ 2005 redistributable this kivvm knows (the newest, 8.0.50727.6195, is older)"}}) {
        EXPECT_EQ(kivvm_tool::vc80_redistributable(version), release);
    }
    HostCheck old = check(0x14c, {named("msvcr80.dll", {"free"}), kGets});
    old.binds = {{"Microsoft.VC80.CRT", "8.0.50608.0", "x86", ""}, {"Microsoft.VC80.MFC", "8.0.1.0", "x86", ""}};
    HostCheck same = old;
    same.binds = {{"microsoft.vc80.crt", "8.0.50727.762", "x86", ""}};
    const std::vector<HostFile> files = {{"old.exe", "", old}, {"same.exe", "", same}};
    const char *needs = "kivvariantmanager.dll binds Microsoft.VC80.CRT 8.0.50727.762";
    const char *older = "old.exe's manifest binds Microsoft.VC80.CRT 8.0.50608.0, older than 8.0.50727.762: the "
                        "machine needs 8.0.50727.762 installed too, or kivvariantmanager.dll will not start "
                        "(\"side-by-side configuration\")";
    std::vector<std::string> notes = judged(files).verdict.notes;
    ASSERT_EQ(notes.size(), 2U);
    EXPECT_EQ(notes[0].substr(0, notes[0].find(',')), needs);
    EXPECT_EQ(notes[1], older);
    // The DLL checked binds its own assembly where it serves; one that will
    // not serve binds nothing, and the build named does.
    PeImage image = dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.50727.762");
    image.manifest += "<dependentAssembly><assemblyIdentity name='Microsoft.VC80.MFC' version='9'/></dependentAssembly>";
    notes = judged(files, kivvm_tool::check_dll("x.dll", image, kFacts)).verdict.notes;
    ASSERT_EQ(notes.size(), 2U);
    EXPECT_EQ(notes[0].substr(0, notes[0].find(',')), "kivvariantmanager.dll binds Microsoft.VC80.CRT 8.0.50727.762 x86");
    EXPECT_EQ(notes[1], older);
    for (const PeImage &refused : {dll_image(0x8664, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.50727.762"),
                                   dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.50727.6195")}) {
        EXPECT_EQ(judged(files, kivvm_tool::check_dll("x.dll", refused, kFacts)).verdict.notes, judged(files).verdict.notes);
    }
    // A build on a runtime without an assembly asks for none; another
    // runtime's assembly comes from its own redistributable.
    const std::vector<HostFile> on_ucrt = {{"u.exe", "", check(0x14c, {named("ucrtbase.dll", {"free"}), kGets})}};
    EXPECT_TRUE(judged(on_ucrt).verdict.notes.empty());
    BuildFacts vc90 = kFacts;
    vc90.runtimes[1].assembly = {"Microsoft.VC90.CRT", "9.0.1.0", "", ""};
    EXPECT_EQ(judged(on_ucrt, std::nullopt, nullptr, vc90).verdict.notes,
              std::vector<std::string>{"kivvariantmanager.dll binds Microsoft.VC90.CRT 9.0.1.0, which its "
                                       "redistributable provides: it must be installed, which these files cannot show"});
}

// The DLL as text and JSON, after the files and before the verdict.
TEST(Dll, TextAndJson)
{
    const std::vector<HostFile> host = {{"host.exe", "", check(0x14c, {named("msvcr80.dll", {"free"}), kGets})}};
    PeImage image = dll_image(0x14c, "ucrtbase.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.1.0");
    image.exports.push_back({"", 9, ""});
    image.exports.push_back({"Other", 10, "x.Other"});
    const ProcessCheck process = judged(host, kivvm_tool::check_dll("dir/kivvariantmanager.dll", image, kFacts));
    const std::string text = kivvm_tool::check_host_text(process, kFacts);
    EXPECT_EQ(text.substr(text.find("\n\nkivvariantmanager.dll")), "\n\nkivvariantmanager.dll: dir/kivvariantmanager.dll (beside host.exe)\n"
              "  architecture: x86 (machine 0x14c)\n"
              "  C runtime: ucrt (ucrtbase.dll)\n"
              "  exports: KIVVMInit, KIVVMGetSetupPaths, KIVVMFreeSetupPaths, ordinal 9, Other (forwarded to x.Other)\n"
              "  version: 1.2.3.0, product version 1.2.3.65535, product name kivvariantmanager\n"
              "  built for: x86 on ucrt (its version resource)\n"
              "  manifest binds: Microsoft.VC80.CRT 8.0.1.0 x86\n"
              "  why: it is the build on ucrt, and these files need the one on msvcr80\n"
              "\n"
              "verdict: w86 (a.zip) serves every file that uses kivvariantmanager.dll\n"
              "  the kivvariantmanager.dll checked will not serve them: take a.zip instead\n"
              "  note: kivvariantmanager.dll binds Microsoft.VC80.CRT 8.0.50727.762, which the Visual C++ 2005 SP1 "
              "redistributable (8.0.50727.762) provides: it must be installed, which these files cannot show\n"
              "fits: no\n");
    const std::string json = kivvm_tool::check_host_json(process);
    EXPECT_EQ(json.substr(json.find("\n], ")), "\n], \"program\": \"host.exe\", \"dll\": {\"path\": \"dir/kivvariantmanager.dll\", \"beside\": true, "
              "\"error\": null, \"machine\": 332, \"architecture\": \"x86\", \"c_runtime\": \"ucrt\", \"c_runtime_dlls\": "
              "[\"ucrtbase.dll\"], \"exports\": [{\"name\": \"KIVVMInit\", \"ordinal\": 1, \"forward\": null}, {\"name\": "
              "\"KIVVMGetSetupPaths\", \"ordinal\": 2, \"forward\": null}, {\"name\": \"KIVVMFreeSetupPaths\", "
              "\"ordinal\": 3, \"forward\": null}, {\"name\": null, \"ordinal\": 9, \"forward\": null}, {\"name\": "
              "\"Other\", \"ordinal\": 10, \"forward\": \"x.Other\"}], \"file_version\": \"1.2.3.0\", "
              "\"product_version\": \"1.2.3.65535\", \"product_name\": \"kivvariantmanager\", \"build_architecture\": "
              "\"x86\", \"build_runtime\": \"ucrt\", \"manifest_id\": \"2\", \"manifest_binds\": [{\"name\": "
              "\"Microsoft.VC80.CRT\", \"version\": \"8.0.1.0\", \"architecture\": \"x86\", \"public_key_token\": "
              "\"1fc8b3b9a1e18e3b\"}], \"ours\": true, \"notes\": [], \"reasons\": [\"it is the build on ucrt, and these "
              "files need the one on msvcr80\"], \"fits\": false}, \"verdict\": {\"fits\": false, \"build\": "
              "{\"preset\": \"w86\", \"architecture\": \"x86\", \"runtime\": \"msvcr80\", \"zip\": \"a.zip\"}, "
              "\"reasons\": [], \"instead\": \"a.zip\", \"notes\": [\"kivvariantmanager.dll binds Microsoft.VC80.CRT "
              "8.0.50727.762, which the Visual C++ 2005 SP1 redistributable (8.0.50727.762) provides: it must be "
              "installed, which these files cannot show\"]}}");
    // Its architecture and C runtime in every kind; with no file given.
    const std::string nobody = "no FILE imports kivvariantmanager.dll (directly, delay-loaded, or through a FILE that "
                               "forwards to it), forwards to it, or names it in its strings (in any case, with or "
                               "without .dll, in ASCII or UTF-16LE)";
    for (const auto &[machine, runtimes, said] :
         std::vector<std::tuple<std::uint16_t, std::vector<const char *>, const char *>>{
             {0x8664, {"msvcr90.dll"}, "x64 (machine 0x8664)\n  C runtime: msvcr90.dll, which no build of ours is on"},
             {0xaa64, {}, "none of ours (machine 0xaa64)\n  C runtime: none (it imports no C runtime DLL)"},
             {0x14c, {"msvcrt.dll", "ucrtbase.dll"}, "x86 (machine 0x14c)\n  C runtime: more than one (msvcrt.dll, "
                                                     "ucrtbase.dll)"}}) {
        PeImage other = dll_image(machine, "", {}, {0, 0, 0, 0}, "", "");
        for (const char *runtime : runtimes) {
            other.modules.push_back(named(runtime, {"free"}));
        }
        const ProcessCheck alone = judged({}, kivvm_tool::check_dll("p", other, kFacts), "p.exe");
        const std::string told = kivvm_tool::check_host_text(alone, kFacts);
        EXPECT_EQ(told.substr(0, told.find("\n  version")),
                  std::string("kivvariantmanager.dll: p (beside p.exe)\n  architecture: ") + said + "\n  exports: nothing");
        const std::string json = kivvm_tool::check_host_json(alone);
        EXPECT_NE(json.find(machine == 0x8664 ? "\"c_runtime\": \"msvcr90.dll\", " : "\"c_runtime\": null, "),
                  std::string::npos);
        EXPECT_EQ(told.substr(told.find("\n  version")), "\n  version: none\n  why: it exports no KIVVMInit: it is not "
                                                         "kivvariantmanager's\n\nverdict: no file here uses "
                                                         "kivvariantmanager.dll\n  " + nobody +
                                                         "\n  the kivvariantmanager.dll checked will not serve them\n"
                                                         "fits: no\n");
    }
    EXPECT_EQ(kivvm_tool::check_host_text(judged({}), kFacts), "kivvariantmanager.dll: none checked: no FILE is a program, and no --dll names one\n\n"
              "verdict: no file here uses kivvariantmanager.dll\n  " + nobody + "\n  no FILE is a program, so which "
              "kivvariantmanager.dll will load cannot be told: name the program among the FILEs, or the DLL with "
              "--dll\nfits: cannot tell\n");
    // One that serves, with a note; and one that is ours where no file uses it.
    const kivvm_tool::DllCheck serves =
        kivvm_tool::check_dll("k.dll", dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 4}, "kivvariantmanager",
                                                 "8.0.50727.762"), kFacts);
    const std::string text_serves = kivvm_tool::check_host_text(judged(host, serves), kFacts);
    EXPECT_EQ(text_serves.substr(text_serves.find("\n  version")), "\n  version: 1.2.3.4, product version 1.2.3.3, product name kivvariantmanager\n"
              "  built for: x86 on msvcr80 (its version resource)\n"
              "  manifest binds: Microsoft.VC80.CRT 8.0.50727.762 x86\n"
              "  note: it is version 1.2.3.4 and this kivvm 1.2.3: a newer one of the same major version serves every "
              "host of an older one\n\nverdict: w86 (a.zip) serves every file that uses kivvariantmanager.dll\n"
              "  the kivvariantmanager.dll checked is that build\n  note: kivvariantmanager.dll binds "
              "Microsoft.VC80.CRT 8.0.50727.762 x86, which the Visual C++ 2005 SP1 redistributable (8.0.50727.762) "
              "provides: it must be installed, which these files cannot show\nfits: yes\n");
    const std::string text_ours = kivvm_tool::check_host_text(judged({}, serves, "p.exe"), kFacts);
    EXPECT_EQ(text_ours.substr(text_ours.find("\nverdict")), "\nverdict: no file here uses kivvariantmanager.dll\n  " + nobody +
                                                         "\n  the kivvariantmanager.dll checked is w86 (a.zip)\n"
                                                         "  note: kivvariantmanager.dll binds Microsoft.VC80.CRT "
                                                         "8.0.50727.762 x86, which the Visual C++ 2005 SP1 "
                                                         "redistributable (8.0.50727.762) provides: it must be "
                                                         "installed, which these files cannot show\nfits: cannot tell\n");
    const kivvm_tool::DllCheck ucrt = kivvm_tool::check_dll(
        "k.dll", dll_image(0x14c, "ucrtbase.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", ""), kFacts);
    EXPECT_NE(kivvm_tool::check_host_text(judged({}, ucrt, "p.exe"), kFacts).find("checked is w86-ucrt (c.zip)\n"),
              std::string::npos);
    // One that serves a file, and not another that uses it.
    const HostFile x64{"u.dll", "", check(0x8664, {named("ucrtbase.dll", {"free"}), kGets})};
    const std::string text_some = kivvm_tool::check_host_text(judged({host[0], x64}, serves), kFacts);
    EXPECT_NE(text_some.find("\n  the kivvariantmanager.dll checked is w86 (a.zip), which u.dll cannot use\n"),
              std::string::npos) << text_some;
    // One that cannot be read.
    kivvm_tool::DllCheck gone;
    gone.path = "gone.dll";
    gone.error = "cannot open it";
    const ProcessCheck unread = judged(host, gone);
    EXPECT_EQ(unread.verdict.fits, Fits::cannot_tell);
    const std::string said = kivvm_tool::check_host_text(unread, kFacts);
    EXPECT_EQ(said.substr(said.find("\nkivvariantmanager.dll")), "\nkivvariantmanager.dll: gone.dll (beside host.exe)\n  error: cannot open it\n\n"
                                                  "verdict: w86 (a.zip) serves every file that uses kivvariantmanager.dll\n"
                                                  "  the kivvariantmanager.dll checked cannot be read: take a.zip instead\n"
                                                  "  note: kivvariantmanager.dll binds Microsoft.VC80.CRT 8.0.50727.762, "
                                                  "which the Visual C++ 2005 SP1 redistributable (8.0.50727.762) "
                                                  "provides: it must be installed, which these files cannot show\n"
                                                  "fits: cannot tell\n");
    EXPECT_NE(kivvm_tool::check_host_json(unread).find("\"dll\": {\"path\": \"gone.dll\", \"beside\": true, \"error\": "
                                                       "\"cannot open it\", \"machine\": null, \"architecture\": null, "
                                                       "\"c_runtime\": null, "),
              std::string::npos);
}

// The manual page is held to kivvm itself: it names every option that
// --help names and no other, every exit status, and every key of
// check-host's JSON (one process here holds each of them).
TEST(Output, TheManualPageSaysWhatKivvmDoes)
{
    std::ifstream in("../../packaging/kivvm.1.in");
    std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(page.empty());
    for (std::size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at)) {
        page.erase(at, 1);
    }
    const auto section = [&](const std::string &name) {
        const std::size_t start = page.find("\n.SH " + name + "\n");
        return page.substr(start, page.find("\n.SH ", start + 1) - start);
    };
    const auto all = [](const std::string &text, const char *pattern) {
        std::set<std::string> found;
        const std::regex expression(pattern);
        for (auto match = std::sregex_iterator(text.begin(), text.end(), expression); match != std::sregex_iterator();
             ++match) {
            for (std::size_t i = 1; i < match->size(); ++i) {
                if ((*match)[i].matched) {
                    found.insert((*match)[i].str());
                }
            }
        }
        return found;
    };
    const std::string usage = kivvm_tool::kUsage;
    EXPECT_EQ(all(section("OPTIONS"), R"x(\n\.TP\n\.B[IR]? (-[-a-z]*)(?: ", " (-[-a-z]*))?)x"),
              all(usage.substr(0, usage.find("\n\n", usage.find("\n  -"))), R"(\n  (-[-a-z]*)(?:, (-[-a-z]*))?)"));
    std::set<std::string> statuses;
    for (int status = kivvm_tool::exit_status::kExitSelected; status <= kivvm_tool::exit_status::kExitCannotTell;
         ++status) {
        statuses.insert(std::to_string(status));
    }
    EXPECT_EQ(all(section("EXIT STATUS"), R"(\n\.TP\n\.B ([0-9]+)\n)"), statuses);
    EXPECT_EQ(all(usage.substr(usage.find("Exit status:")), R"((?:: |, |\n)([0-9]) )"), statuses);

    PeImage image = image_of(0x14c, {named("msvcr80.dll", {"free"}), kGets});
    image.exports = {{"Paths", 1, "kivvariantmanager.KIVVMGetSetupPaths"}};
    image.manifest = "<dependentAssembly><assemblyIdentity name='A'/></dependentAssembly>";
    const HostFile file{"host.exe", "", check_host(image, holding(true, {"KIVVMFreeSetupPaths"}), {}, kFacts)};
    PeImage dll = dll_image(0x14c, "msvcr80.dll", kAll, {1, 2, 3, 0}, "kivvariantmanager", "8.0.50727.762");
    dll.exports.push_back({"Gone", 9, "x.Gone"});
    const std::string json = kivvm_tool::check_host_json(
        judged({file, {"gone.dll", "cannot open it", {}}}, kivvm_tool::check_dll("k.dll", dll, kFacts)));
    const std::string keys = section("JSON");
    for (const std::string &key : all(json, R"x("([a-z_]+)": )x")) {
        EXPECT_TRUE(std::regex_search(keys, std::regex("\n\\.BR? " + key + "( |\n)"))) << key << " is not in kivvm(1)";
    }
}

}  // namespace
