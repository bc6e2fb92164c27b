// SPDX-License-Identifier: MIT
#include "report.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "kivvariantmanager.h"

namespace kivvm_tool {

namespace {

// Length of the valid UTF-8 sequence at s (at most n bytes), or 0 when the
// byte at s does not start one: overlong forms, surrogates and code points
// above U+10FFFF are not valid.
std::size_t utf8_sequence_length(const unsigned char *s, std::size_t n)
{
    const unsigned char c = s[0];
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || length > n || s[1] < low || s[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

Field integer_field(const char *label, int value) { return {label, true, value, nullptr}; }
Field string_field(const char *label, const char *value) { return {label, false, 0, value}; }

}  // namespace

Report ask_library(const char *identity)
{
    Report report{identity, KIVVMInit(identity) != 0, {}, {}};
    report.fields = {
        integer_field("ToolID", KIVVMGetToolID()),
        string_field("ToolName", KIVVMGetToolName()),
        integer_field("SubToolID", KIVVMGetSubToolID()),
        string_field("SubToolName", KIVVMGetSubToolName()),
        string_field("ToolExpandedName", KIVVMGetToolExpandedName()),
        string_field("RHOSetupLocation", KIVVMGetRHOSetupLocation()),
        string_field("ZEFSectionName", KIVVMGetZEFSectionName()),
        string_field("MenuFile", KIVVMGetMenuFile()),
        string_field("TooBarFile", KIVVMGetTooBarFile()),
        string_field("SplashScreenName", KIVVMGetSplashScreenName()),
        string_field("HelpFileTagFile", KIVVMGetHelpFileTagFile()),
    };
    char **paths = nullptr;
    const int count = KIVVMGetSetupPaths(&paths);
    report.setup_paths.assign(paths, paths + count);
    KIVVMFreeSetupPaths(paths, count);
    return report;
}

std::string json_string(const char *text)
{
    if (text == nullptr) {
        return "null";
    }
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    const std::size_t n = std::strlen(text);
    std::string out = "\"";
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            const std::size_t length = utf8_sequence_length(s + i, n - i);
            out.append(length != 0 ? std::string_view(text + i, length) : "\xEF\xBF\xBD");
            i += length != 0 ? length : 1;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string json_report(const Report &report)
{
    std::string out = "{\n  \"identity\": " + json_string(report.identity) +
                      ",\n  \"selected\": " + (report.selected ? "true" : "false");
    for (const Field &f : report.fields) {
        out += ",\n  \"" + std::string(f.label) +
               "\": " + (f.is_integer ? std::to_string(f.integer) : json_string(f.string));
    }
    out += ",\n  \"SetupPaths\": [";
    for (std::size_t i = 0; i < report.setup_paths.size(); ++i) {
        out += (i == 0 ? "" : ", ") + json_string(report.setup_paths[i].c_str());
    }
    return out + "]\n}\n";
}

std::string text_report(const Report &report)
{
    std::string out;
    const auto line = [&out](const char *label, const std::string &value) {
        char start[32];
        std::snprintf(start, sizeof start, "%-18s ", label);
        out += start + value + "\n";
    };
    line("identity", report.identity);
    line("selected", report.selected ? "yes" : "no");
    for (const Field &f : report.fields) {
        line(f.label, f.is_integer ? std::to_string(f.integer) : f.string != nullptr ? f.string : "(null)");
    }
    if (report.setup_paths.empty()) {
        line("SetupPaths", "(none)");
    }
    for (std::size_t i = 0; i < report.setup_paths.size(); ++i) {
        line(i == 0 ? "SetupPaths" : "", report.setup_paths[i]);
    }
    return out;
}

}  // namespace kivvm_tool
