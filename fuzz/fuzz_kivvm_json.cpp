// SPDX-License-Identifier: MIT
// Fuzz target: kivvm's --json object for any identity bytes, read back by a
// real JSON parser.  It must parse; its identity must be the input itself
// when that is valid UTF-8, and otherwise the input with every byte that is
// not part of a valid sequence replaced by U+FFFD, as an oracle of the
// parser's own finds it; every other field must be what the library
// answers.  The input up to its first NUL byte is the identity, as a
// command line would pass it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "kivvariantmanager.h"
#include "report.h"

namespace {

using nlohmann::json;

void check(bool ok, const char *what, const std::string &identity)
{
    if (!ok) {
        std::fprintf(stderr, "kivvm's JSON is wrong: %s, for an identity of %zu bytes\n", what, identity.size());
        std::abort();
    }
}

// What a JSON string of these bytes must decode to: valid UTF-8 sequences
// as they are, each other byte from 0x80 up as U+FFFD.  A sequence is valid
// when the parser accepts it alone in a string literal.
std::string expected_text(const std::string &bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : 0;
        for (std::size_t n = 2; length == 0 && n <= 4 && i + n <= bytes.size(); ++n) {
            if (json::accept('"' + bytes.substr(i, n) + '"')) {
                length = n;
            }
        }
        out += length != 0 ? bytes.substr(i, length) : "\xEF\xBF\xBD";
        i += length != 0 ? length : 1;
    }
    return out;
}

json expected_string(const char *text)
{
    return text == nullptr ? json(nullptr) : json(expected_text(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string identity(reinterpret_cast<const char *>(data),
                               strnlen(reinterpret_cast<const char *>(data), size));
    const json object = json::parse(kivvm_tool::json_report(kivvm_tool::ask_library(identity.c_str())),
                                    nullptr, false);
    check(object.is_object(), "not a JSON object", identity);
    check(object.at("identity") == expected_text(identity), "identity", identity);
    check(object.at("selected") == (KIVVMInit(identity.c_str()) != 0), "selected", identity);
    const json library = {
        {"ToolID", KIVVMGetToolID()},
        {"ToolName", expected_string(KIVVMGetToolName())},
        {"SubToolID", KIVVMGetSubToolID()},
        {"SubToolName", expected_string(KIVVMGetSubToolName())},
        {"ToolExpandedName", expected_string(KIVVMGetToolExpandedName())},
        {"RHOSetupLocation", expected_string(KIVVMGetRHOSetupLocation())},
        {"ZEFSectionName", expected_string(KIVVMGetZEFSectionName())},
        {"MenuFile", expected_string(KIVVMGetMenuFile())},
        {"TooBarFile", expected_string(KIVVMGetTooBarFile())},
        {"SplashScreenName", expected_string(KIVVMGetSplashScreenName())},
        {"HelpFileTagFile", expected_string(KIVVMGetHelpFileTagFile())},
    };
    for (const auto &[name, value] : library.items()) {
        check(object.at(name) == value, name.c_str(), identity);
    }
    char **paths = nullptr;
    const int count = KIVVMGetSetupPaths(&paths);
    json setup_paths = json::array();
    for (int i = 0; i < count; ++i) {
        setup_paths.push_back(expected_text(paths[i]));
    }
    KIVVMFreeSetupPaths(paths, count);
    check(object.at("SetupPaths") == setup_paths, "SetupPaths", identity);
    check(object.size() == library.size() + 3, "the number of fields", identity);
    return 0;
}
