// SPDX-License-Identifier: MIT
// kivvm - show what kivvariantmanager answers for an identifying string, and
// which identities select which variant.
//
// For an identity it uses the library the way a host does: KIVVMInit first,
// then every query, and the setup path list released with
// KIVVMFreeSetupPaths.  The table it lists with --list is the one compiled
// into it from the library's own sources: the table is not part of the
// library's interface.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kivvariantmanager.h"
#include "selection.h"
#include "variant_table.h"

namespace {

enum { kExitSelected = 0, kExitNoMatch = 1, kExitUsage = 2, kExitWriteError = 3 };

const char kUsage[] =
    "usage: kivvm [--json] [--] IDENTITY\n"
    "       kivvm --list [--json]\n"
    "       kivvm --version | --help\n"
    "\n"
    "Selects the variant whose key occurs in IDENTITY and prints its identity,\n"
    "derived names and setup paths.\n"
    "\n"
    "  --json     print JSON instead of aligned text; always valid UTF-8: a\n"
    "             byte that is not part of valid UTF-8 becomes U+FFFD\n"
    "  --list     print every row of the variant table built into this kivvm,\n"
    "             and which identities can select it\n"
    "  --version  print the library version this kivvm was built with\n"
    "  -h, --help print this help and exit\n"
    "  --         end of options: an IDENTITY that starts with '-' follows\n"
    "\n"
    "Exit status: 0 a variant was selected (or --list, --version, --help),\n"
    "1 no variant matches IDENTITY, 2 bad usage, 3 the output could not be\n"
    "written.\n";

// ---- JSON -----------------------------------------------------------------

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

// A JSON string literal, or null.  Valid UTF-8 passes through unchanged;
// every other byte from 0x80 up becomes U+FFFD.
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

// ---- What the library answers for an identity -------------------------------

// One answer: an integer, or a string that may be null.
struct Field {
    const char *label;
    bool is_integer;
    int integer;
    const char *string;
};

Field integer_field(const char *label, int value) { return {label, true, value, nullptr}; }
Field string_field(const char *label, const char *value) { return {label, false, 0, value}; }

int show_identity(const char *identity, bool json)
{
    const int selected = KIVVMInit(identity);
    const Field fields[] = {
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
    const int path_count = KIVVMGetSetupPaths(&paths);

    if (selected == 0) {
        std::fprintf(stderr, "kivvm: no variant matches \"%s\"\n", identity);
    }
    if (json) {
        std::printf("{\n  \"identity\": %s,\n  \"selected\": %s", json_string(identity).c_str(),
                    selected != 0 ? "true" : "false");
        for (const Field &f : fields) {
            std::printf(",\n  \"%s\": %s", f.label,
                        f.is_integer ? std::to_string(f.integer).c_str() : json_string(f.string).c_str());
        }
        std::fputs(",\n  \"SetupPaths\": [", stdout);
        for (int i = 0; i < path_count; ++i) {
            std::printf("%s%s", i == 0 ? "" : ", ", json_string(paths[i]).c_str());
        }
        std::fputs("]\n}\n", stdout);
    } else {
        std::printf("%-18s %s\n%-18s %s\n", "identity", identity, "selected", selected != 0 ? "yes" : "no");
        for (const Field &f : fields) {
            if (f.is_integer) {
                std::printf("%-18s %d\n", f.label, f.integer);
            } else {
                std::printf("%-18s %s\n", f.label, f.string != nullptr ? f.string : "(null)");
            }
        }
        if (path_count == 0) {
            std::printf("%-18s %s\n", "SetupPaths", "(none)");
        }
        for (int i = 0; i < path_count; ++i) {
            std::printf("%-18s %s\n", i == 0 ? "SetupPaths" : "", paths[i]);
        }
    }
    KIVVMFreeSetupPaths(paths, path_count);
    return selected != 0 ? kExitSelected : kExitNoMatch;
}

// ---- The table ------------------------------------------------------------

using kivvm::VariantRecord;
using kivvm::VariantTable;

// The row that an identity holding row's key, and nothing more, selects: the
// row itself when a selection can reach it, else the earlier row that
// always wins over it.
long selected_instead(const VariantRecord &row)
{
    return kivvm::find_variant(kivvm::VariantKeyGroups, row.MatchKey) - VariantTable;
}

int list_table(bool json)
{
    // One line of cells per row, the header first.
    std::vector<std::vector<std::string>> lines = {
        {"row", "MatchKey", "ToolID", "ToolName", "SubToolName", "SubToolID", "ToolExpandedName",
         "RHOSetupLocation", "SetupPaths", "ZEFSectionName", "selectable"}};
    std::fputs(json ? "[" : "", stdout);
    for (const VariantRecord *row = VariantTable; !kivvm::is_terminator(*row); ++row) {
        const long index = row - VariantTable;
        const long winner = selected_instead(*row);
        if (json) {
            std::printf("%s\n  {\"row\": %ld, \"MatchKey\": %s, \"ToolID\": %d, \"ToolName\": %s, "
                        "\"SubToolName\": %s, \"SubToolID\": %d, \"ToolExpandedName\": %s, "
                        "\"RHOSetupLocation\": %s, \"SetupPaths\": %s, \"ZEFSectionName\": %s, "
                        "\"selectable\": %s, \"selected_by_its_key\": %ld}",
                        index == 0 ? "" : ",", index, json_string(row->MatchKey).c_str(), row->ToolID,
                        json_string(row->ToolName).c_str(), json_string(row->SubToolName).c_str(), row->SubToolID,
                        json_string(row->ToolExpandedName).c_str(), json_string(row->RHOSetupLocation).c_str(),
                        json_string(row->SetupPaths).c_str(), json_string(row->ZEFSectionName).c_str(),
                        winner == index ? "true" : "false", winner);
        } else {
            lines.push_back({std::to_string(index), row->MatchKey, std::to_string(row->ToolID), row->ToolName,
                             row->SubToolName, std::to_string(row->SubToolID), row->ToolExpandedName,
                             row->RHOSetupLocation, row->SetupPaths, row->ZEFSectionName,
                             winner == index ? "yes"
                                             : "no: \"" + std::string(row->MatchKey) + "\" selects row " +
                                                   std::to_string(winner)});
        }
    }
    if (json) {
        std::fputs("\n]\n", stdout);
        return kExitSelected;
    }
    std::vector<std::size_t> widths(lines[0].size());
    for (const auto &cells : lines) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths[c], cells[c].size());
        }
    }
    for (const auto &cells : lines) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            line += cells[c];
            if (c + 1 < cells.size()) {
                line.append(widths[c] - cells[c].size() + 2, ' ');
            }
        }
        std::printf("%s\n", line.c_str());
    }
    return kExitSelected;
}

int usage_error(const char *complaint, const char *what)
{
    if (complaint != nullptr) {
        std::fprintf(stderr, "kivvm: %s %s\n", complaint, what);
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// Runs the command; returns its exit status.
int run(int argc, char **argv)
{
    bool json = false;
    bool list = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string_view option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--json") {
            json = true;
        } else if (option == "--list") {
            list = true;
        } else if (option == "--version") {
            std::printf("kivvm (kivvariantmanager) %s\n", KIVVM_VERSION_STRING);
            return kExitSelected;
        } else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return kExitSelected;
        } else {
            return usage_error("unknown option", argv[i]);
        }
    }
    if (list) {
        return i == argc ? list_table(json) : usage_error("--list takes no identity:", argv[i]);
    }
    if (argc - i != 1) {
        return usage_error(nullptr, nullptr);
    }
    return show_identity(argv[i], json);
}

}  // namespace

int main(int argc, char **argv)
{
    const int status = run(argc, argv);
    // Whatever was asked, an answer that did not reach its reader (a full
    // disk, a closed descriptor) is a failure, not a success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "kivvm: cannot write the output%s%s\n", errno != 0 ? ": " : "",
                     errno != 0 ? std::strerror(errno) : "");
        return kExitWriteError;
    }
    return status;
}
