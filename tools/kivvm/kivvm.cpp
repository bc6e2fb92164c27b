// SPDX-License-Identifier: MIT
// kivvm - show what kivvariantmanager answers for an identifying string, and
// which identities select which variant.
//
// For an identity it uses the library the way a host does: KIVVMInit first,
// then every query, and the setup path list released with
// KIVVMFreeSetupPaths.  The table it lists with --list is the one compiled
// into it from the library's own sources: the table is not part of the
// library's interface.  check-host reads Windows hosts' imports and says
// which of our DLLs each needs, and whether it will load.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host_check.h"
#include "kivvariantmanager.h"
#include "report.h"
#include "selection.h"
#include "variant_table.h"

namespace {

using kivvm_tool::json_string;
using kivvm_tool::Report;
using kivvm_tool::ask_library;
using kivvm_tool::json_report;
using kivvm_tool::text_report;

enum { kExitSelected = 0, kExitNoMatch = 1, kExitUsage = 2, kExitWriteError = 3, kExitUnreadable = 4 };

const char kUsage[] =
    "usage: kivvm [--json] [--] IDENTITY\n"
    "       kivvm --list [--json]\n"
    "       kivvm check-host [--json] [--] FILE...\n"
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
    "check-host reads each Windows program or DLL FILE and says its\n"
    "architecture and C runtime, which of our builds it needs, and whether each\n"
    "function it imports from kivvariantmanager.dll is exported.\n"
    "\n"
    "Exit status: 0 a variant was selected (or --list, --version, --help; with\n"
    "check-host: every FILE fits a build), 1 no variant matches IDENTITY (some\n"
    "FILE does not fit), 2 bad usage, 3 the output could not be written, 4 a\n"
    "FILE cannot be read or is not a well-formed PE file.\n";

// ---- What the library answers for an identity -------------------------------

int show_identity(const char *identity, bool json)
{
    const Report report = ask_library(identity);
    if (!report.selected) {
        std::fprintf(stderr, "kivvm: no variant matches \"%s\"\n", identity);
    }
    std::fputs((json ? json_report(report) : text_report(report)).c_str(), stdout);
    return report.selected ? kExitSelected : kExitNoMatch;
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

// ---- A Windows host ----------------------------------------------------------

// The whole file, or why not.
std::string read_file(const char *file, std::vector<unsigned char> &bytes)
{
    std::FILE *stream = std::fopen(file, "rb");
    if (stream == nullptr) {
        return std::string("cannot open it: ") + std::strerror(errno);
    }
    unsigned char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    const int error = std::ferror(stream) != 0 ? errno : 0;
    std::fclose(stream);
    return error != 0 ? std::string("cannot read it: ") + std::strerror(error) : "";
}

int check_hosts(char **files, int count, bool json)
{
    const kivvm_tool::HostFacts &facts = kivvm_tool::build_facts();
    bool all_fit = true;
    bool all_read = true;
    std::string out = json ? "{\"files\": [" : "";
    for (int i = 0; i < count; ++i) {
        const std::string file = files[i];
        std::vector<unsigned char> bytes;
        std::string error = read_file(files[i], bytes);
        kivvm_tool::PeImage image;
        if (error.empty()) {
            error = kivvm_tool::read_pe_imports(bytes.data(), bytes.size(), image);
        }
        out += json && i > 0 ? ",\n  " : json ? "\n  " : i > 0 ? "\n" : "";
        if (!error.empty()) {
            all_read = false;
            std::fprintf(stderr, "kivvm: %s: %s\n", file.c_str(), error.c_str());
            out += json ? kivvm_tool::json_host_error(file, error) : file + "\n  error: " + error + "\n";
            continue;
        }
        const kivvm_tool::HostCheck check = kivvm_tool::check_host(image, facts);
        all_fit = all_fit && check.reasons.empty();
        out += json ? kivvm_tool::json_host_check(file, check) : kivvm_tool::text_host_check(file, check, facts);
    }
    if (json) {
        out += std::string("\n], \"fits\": ") + (all_fit && all_read ? "true" : "false") + "}\n";
    }
    std::fputs(out.c_str(), stdout);
    return !all_read ? kExitUnreadable : all_fit ? kExitSelected : kExitNoMatch;
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
    const bool check_host = argc > 1 && std::string_view(argv[1]) == "check-host";
    int i = check_host ? 2 : 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string_view option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--json") {
            json = true;
        } else if (option == "--list" && !check_host) {
            list = true;
        } else if (option == "--version" && !check_host) {
            std::printf("kivvm (kivvariantmanager) %s\n", KIVVM_VERSION_STRING);
            return kExitSelected;
        } else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return kExitSelected;
        } else {
            return usage_error("unknown option", argv[i]);
        }
    }
    if (check_host) {
        return i < argc ? check_hosts(argv + i, argc - i, json) : usage_error("check-host needs a FILE", "");
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
    // disk, a closed descriptor) is a failure, not a success.  A failed
    // flush says why; an earlier failed write has left only its mark.
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "kivvm: cannot write the output: %s\n", std::strerror(errno));
        return kExitWriteError;
    }
    if (std::ferror(stdout) != 0) {
        std::fputs("kivvm: cannot write the output\n", stderr);
        return kExitWriteError;
    }
    return status;
}
