// SPDX-License-Identifier: MIT
// Fuzz target: kivvm check-host's PE reader (imports, exports, resources,
// the version resource, the manifest) and string scan for any bytes.
// They must return, never reading outside the bytes (the sanitizers watch
// every read) nor walking a table without end; the reader either says what
// is wrong and gives no image, or gives one whose check, as a host and as
// the DLL that loads, is told as text and as JSON, which a real JSON parser
// must read back where one is built in (not in cross builds), with the same
// keys as a file that cannot be read.
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
#include "pe_image.h"

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
    using kivvm_tool::HostFile;
    using kivvm_tool::Use;
    const kivvm_tool::BuildFacts &facts = kivvm_tool::build_facts();
    kivvm_tool::PeImage image;
    const std::string error = kivvm_tool::read_pe_image(data, size, image);
    const kivvm_tool::PeStrings text = kivvm_tool::scan_strings(data, size, facts.dll, facts.prefix);
    for (const std::string &word : text.words) {
        check(word.compare(0, facts.prefix.size(), facts.prefix) == 0, "a word without the prefix");
    }
    if (!error.empty()) {
        check(image.modules.empty() && image.exports.empty() && image.resources.empty(),
              "an image given beside an error");
    }
    // The version resource's facts, of the image's and of any bytes.
    const kivvm_tool::PeVersion version = kivvm_tool::read_version(image.version);
    check(image.version.size() >= 52 || version.file_version.empty(), "a version without its fixed part");
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    kivvm_tool::read_version(bytes);
    // The manifest's bindings, of the image's and of any bytes.
    kivvm_tool::read_manifest(image.manifest);
    check(kivvm_tool::read_manifest(bytes).size() <= size / 16, "more bindings than the bytes hold");
    // The file, and beside it one that cannot be read: a process of two.
    const std::vector<HostFile> files = {{"host.exe", error, error.empty() ? kivvm_tool::check_host(image, text, facts)
                                                                          : kivvm_tool::HostCheck{}},
                                         {"gone.dll", "cannot open it", {}}};
    const kivvm_tool::HostCheck &host = files[0].check;
    for (const kivvm_tool::NameCheck &name : host.names) {
        check(name.exported != (name.name.empty() || !name.nearest.empty() ||
                                std::find(facts.exports.begin(), facts.exports.end(), name.name) ==
                                    facts.exports.end()),
              "a name judged against the wrong exports");
    }
    check(host.reasons.empty() == (host.use == Use::none || !host.builds.empty()), "builds beside reasons");
    const std::vector<HostFile> alone(files.begin(), files.begin() + 1);
    const kivvm_tool::Verdict verdict = kivvm_tool::judge_process(alone, facts);
    check(verdict.fits == (error.empty() && host.reasons.empty()), "a verdict that is not the file's");
    check(!kivvm_tool::check_host_text(alone, nullptr, verdict, facts).empty(), "no text");
    // The same image as the DLL that loads into that process.
    kivvm_tool::DllCheck dll;
    if (error.empty()) {
        dll = kivvm_tool::check_dll("kivvariantmanager.dll", image, facts);
    }
    dll.error = error;
    kivvm_tool::DllCheck judged = dll;
    const kivvm_tool::Verdict with_dll = kivvm_tool::judge_process(alone, facts, &judged);
    check(!with_dll.fits || (verdict.fits && judged.ours && judged.reasons.empty()), "a DLL that fits and should not");
    check(!kivvm_tool::check_host_text(alone, &judged, with_dll, facts).empty(), "no text with the DLL");
    const std::string json = kivvm_tool::check_host_json(files, &dll, kivvm_tool::judge_process(files, facts, &dll));
#if KIVVM_FUZZ_JSON
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    check(!parsed.is_discarded(), "its JSON does not parse");
    check(!parsed["verdict"]["fits"].get<bool>(), "a process with a file that cannot be read fits");
    check(parsed["dll"]["fits"].get<bool>() == (error.empty() && dll.reasons.empty()), "the DLL's JSON's fits");
    const nlohmann::json &entries = parsed["files"];
    check(entries.size() == 2, "not one entry a file");
    check(entries[0]["fits"].get<bool>() == (error.empty() && host.reasons.empty()), "its JSON's fits is not its own");
    for (auto key = entries[0].begin(), other = entries[1].begin(); key != entries[0].end(); ++key, ++other) {
        check(other != entries[1].end() && key.key() == other.key(), "entries with other keys");
    }
#endif
    return 0;
}
