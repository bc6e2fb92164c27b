// SPDX-License-Identifier: MIT
// Fuzz target: kivvm check-host's PE reader for any bytes.  It must return,
// never reading outside the bytes (the sanitizers watch every read) nor
// walking a table without end; it either says what is wrong and gives no
// image, or gives one whose check is told as text and as JSON, which a real
// JSON parser must read back where one is built in (not in cross builds).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#if KIVVM_FUZZ_JSON
#include <nlohmann/json.hpp>
#endif

#include "host_check.h"
#include "pe_imports.h"

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
    kivvm_tool::PeImage image;
    const std::string error = kivvm_tool::read_pe_imports(data, size, image);
    if (!error.empty()) {
        check(image.modules.empty(), "an image given beside an error");
        return 0;
    }
    const kivvm_tool::HostFacts &facts = kivvm_tool::build_facts();
    const kivvm_tool::HostCheck host = kivvm_tool::check_host(image, facts);
    for (const kivvm_tool::ImportCheck &import : host.imports) {
        check(import.exported != (import.name.empty() || !import.nearest.empty() ||
                                  std::find(facts.exports.begin(), facts.exports.end(), import.name) ==
                                      facts.exports.end()),
              "an import judged against the wrong exports");
    }
    check(!kivvm_tool::text_host_check("host.exe", host, facts).empty(), "no text");
    const std::string json = kivvm_tool::json_host_check("host.exe", host);
#if KIVVM_FUZZ_JSON
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    check(!parsed.is_discarded(), "its JSON does not parse");
    check(parsed["fits"].get<bool>() == host.reasons.empty(), "its JSON's fits is not its verdict");
#endif
    return 0;
}
