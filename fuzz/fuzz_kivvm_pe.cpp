// SPDX-License-Identifier: MIT
// Fuzz target: kivvm check-host's PE reader (imports, exports, resources,
// the version resource, the manifest) and string scan for any bytes.
// They must return, never reading outside the bytes (the sanitizers watch
// every read) nor walking a table without end; the reader either says what
// is wrong and gives no image, or gives one whose check, as a program and as
// the DLL that loads beside it, is told as text and as JSON, which a real
// JSON parser must read back where one is built in (not in cross builds),
// with the same keys as a file that cannot be read.  The verdict is yes
// only where the DLL is proven ours, which these bytes never are.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if KIVVM_FUZZ_JSON
#include <nlohmann/json.hpp>
#endif

#include "host_check_output.h"

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check-host is wrong: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using kivvm_tool::Fits;
    using kivvm_tool::HostFile;
    const kivvm_tool::BuildFacts &facts = kivvm_tool::build_facts();
    const kivvm_tool::MemoryBytes bytes(data, size);
    kivvm_tool::PeImage image;
    const std::string error = kivvm_tool::read_pe_image(bytes, image);
    const kivvm_tool::PeStrings strings = kivvm_tool::scan_strings(bytes, facts.dll, facts.prefix);
    for (const std::string &word : strings.words) {
        check(word.compare(0, facts.prefix.size(), facts.prefix) == 0, "a word without the prefix");
    }
    for (const std::uint64_t offset : strings.dll_name_at) {
        check(offset < size, "a name found past the bytes");
        check(kivvm_tool::add_unlisted_delay_loads(bytes, offset, image).empty(), "memory that cannot be read");
    }
    if (!error.empty()) {
        check(image.modules.empty() && image.exports.empty() && image.resources.empty(),
              "an image given beside an error");
    }
    // The version resource's facts, of the image's and of any bytes.
    const kivvm_tool::PeVersion version = kivvm_tool::read_version(image.version);
    check(image.version.size() >= 52 || version.file_version.empty(), "a version without its fixed part");
    const std::string text(reinterpret_cast<const char *>(data), size);
    kivvm_tool::read_version(text);
    // The manifest's bindings, of the image's and of any bytes.
    kivvm_tool::read_manifest(image.manifest);
    check(kivvm_tool::read_manifest(text).size() <= size / 16, "more bindings than the bytes hold");
    // The file as its own forwarder's importer, as a program, and beside it
    // one that cannot be read.
    std::vector<kivvm_tool::Forwarder> forwarders;
    if (error.empty()) {
        if (const auto forwarder = kivvm_tool::forwarder_of("host.exe", image, facts)) {
            forwarders.push_back(*forwarder);
        }
    }
    const kivvm_tool::HostCheck host =
        error.empty() ? kivvm_tool::check_host(image, strings, forwarders, facts) : kivvm_tool::HostCheck{};
    for (const kivvm_tool::NameCheck &name : host.names) {
        check(name.exported == (!name.name.empty() && std::find(facts.exports.begin(), facts.exports.end(),
                                                                 name.name) != facts.exports.end()),
              "a name judged against the wrong exports");
        check(!name.exported || name.nearest.empty(), "an export with a nearest one");
    }
    check(host.reasons.empty() == (!host.uses() || !host.builds.empty()), "builds beside reasons");
    kivvm_tool::ProcessCheck alone;
    alone.files = {{"host.exe", error, host}};
    alone.program = error.empty() ? "host.exe" : "";
    kivvm_tool::judge_process(alone, facts);
    check(alone.verdict.fits != Fits::yes, "a process without a DLL fits");
    check((alone.verdict.fits == Fits::no) == (error.empty() && !host.reasons.empty()),
          "a verdict that is not the file's");
    check(!kivvm_tool::check_host_text(alone, facts).empty(), "no text");
    // The same image as the DLL that loads into that process.
    kivvm_tool::DllCheck dll = error.empty() ? kivvm_tool::check_dll("kivvariantmanager.dll", image, facts)
                                             : kivvm_tool::DllCheck{};
    dll.error = error;
    kivvm_tool::ProcessCheck with_dll = alone;
    with_dll.dll = dll;
    kivvm_tool::judge_process(with_dll, facts);
    check(with_dll.verdict.fits != Fits::yes || with_dll.dll->ours, "a DLL not proven ours that fits");
    check(!kivvm_tool::check_host_text(with_dll, facts).empty(), "no text with the DLL");
    kivvm_tool::ProcessCheck two = with_dll;
    two.files.push_back({"gone.dll", "cannot open it", {}});
    kivvm_tool::judge_process(two, facts);
    check(two.verdict.fits != Fits::yes, "a process with a file that cannot be read fits");
    const std::string json = kivvm_tool::check_host_json(two);
#if KIVVM_FUZZ_JSON
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    check(!parsed.is_discarded(), "its JSON does not parse");
    check(parsed["verdict"]["fits"] == (two.verdict.fits == Fits::no ? nlohmann::json(false) : nlohmann::json()),
          "the verdict's JSON fits");
    check(parsed["dll"]["fits"].get<bool>() == (error.empty() && two.dll->reasons.empty()), "the DLL's JSON's fits");
    const nlohmann::json &entries = parsed["files"];
    check(entries.size() == 2, "not one entry a file");
    check(entries[0]["fits"].get<bool>() == (error.empty() && host.reasons.empty()), "its JSON's fits is not its own");
    for (auto key = entries[0].begin(), other = entries[1].begin(); key != entries[0].end(); ++key, ++other) {
        check(other != entries[1].end() && key.key() == other.key(), "entries with other keys");
    }
#endif
    return 0;
}
