// SPDX-License-Identifier: MIT
// kivvm - show what kivvariantmanager answers for an identifying string, and
// which identities select which variant.
//
// For an identity it uses the library the way a host does: KIVVMInit first,
// then every query, and the setup path list released with
// KIVVMFreeSetupPaths.  The table it lists with --list is the one compiled
// into it from the library's own sources: the table is not part of the
// library's interface.  check-host reads the Windows programs and DLLs of
// a process and says which one of our DLLs serves them all.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host_check_output.h"
#include "host_files.h"
#include "json.h"
#include "kivvariantmanager.h"
#include "report.h"
#include "usage.h"
#include "selection.h"
#include "variant_table.h"

#ifdef __MINGW32__
// Windows hands a program its command line as typed: kivvm.exe expands
// wildcards itself (check-host host.exe plugins\*.dll), as a Visual C++
// program linked with setargv.obj does.
extern "C" int _dowildcard = -1;
#endif

namespace {

using namespace kivvm_tool::exit_status;
using kivvm_tool::kUsage;
using kivvm_tool::Report;
using kivvm_tool::ask_library;
using kivvm_tool::json_report;
using kivvm_tool::text_report;

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
    kivvm_tool::JsonWriter rows;
    rows.begin_array(kivvm_tool::JsonWriter::Layout::lines);
    for (const VariantRecord *row = VariantTable; !kivvm::is_terminator(*row); ++row) {
        const long index = row - VariantTable;
        const long winner = selected_instead(*row);
        rows.begin_object().key("row").number(index).key("MatchKey").string_or_null(row->MatchKey);
        rows.key("ToolID").number(row->ToolID).key("ToolName").string_or_null(row->ToolName);
        rows.key("SubToolName").string_or_null(row->SubToolName).key("SubToolID").number(row->SubToolID);
        rows.key("ToolExpandedName").string_or_null(row->ToolExpandedName);
        rows.key("RHOSetupLocation").string_or_null(row->RHOSetupLocation);
        rows.key("SetupPaths").string_or_null(row->SetupPaths).key("ZEFSectionName").string_or_null(row->ZEFSectionName);
        rows.key("selectable").boolean(winner == index).key("selected_by_its_key").number(winner).end_object();
        lines.push_back({std::to_string(index), row->MatchKey, std::to_string(row->ToolID), row->ToolName,
                         row->SubToolName, std::to_string(row->SubToolID), row->ToolExpandedName,
                         row->RHOSetupLocation, row->SetupPaths, row->ZEFSectionName,
                         winner == index ? "yes"
                                         : "no: \"" + std::string(row->MatchKey) + "\" selects row " +
                                               std::to_string(winner)});
    }
    if (json) {
        std::fputs((rows.end_array().text() + "\n").c_str(), stdout);
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

int usage_error(const char *complaint, const char *what)
{
    if (complaint != nullptr) {
        std::fprintf(stderr, "kivvm: %s%s%s\n", complaint, *what != '\0' ? " " : "", what);
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// How bad a process's status is: the worst is the one given with --each.
int severity(int status)
{
    return status == kExitUnreadable ? 3 : status == kExitNoMatch ? 2 : status == kExitCannotTell ? 1 : 0;
}

// The FILEs as one process, or with each, each as a process of its own.
// What cannot be read is said on stderr too.
int check_hosts(const std::vector<std::string> &files, const char *dll, bool json, bool each)
{
    const kivvm_tool::BuildFacts &facts = kivvm_tool::build_facts();
    std::vector<kivvm_tool::ProcessCheck> processes;
    const std::string error = kivvm_tool::check_processes(files, dll, each, facts, processes);
    if (!error.empty()) {
        return usage_error("check-host:", error.c_str());
    }
    int worst = kExitSelected;
    std::string out;
    for (const kivvm_tool::ProcessCheck &process : processes) {
        bool read = true;
        for (const kivvm_tool::HostFile &file : process.files) {
            if (!file.error.empty()) {
                std::fprintf(stderr, "kivvm: %s: %s\n", file.file.c_str(), file.error.c_str());
                read = false;
            }
        }
        if (process.dll && !process.dll->error.empty()) {
            std::fprintf(stderr, "kivvm: %s: %s\n", process.dll->path.c_str(), process.dll->error.c_str());
            read = false;
        }
        const kivvm_tool::Fits fits = process.verdict.fits;
        const int status = !read                              ? kExitUnreadable
                           : fits == kivvm_tool::Fits::no     ? kExitNoMatch
                           : fits == kivvm_tool::Fits::yes    ? kExitSelected
                                                              : kExitCannotTell;
        worst = severity(status) > severity(worst) ? status : worst;
        out += json ? (out.empty() ? "" : ",\n") + kivvm_tool::check_host_json(process)
                    : (out.empty() ? "" : "\n") + kivvm_tool::check_host_text(process, facts);
    }
    std::fputs((json && each ? "[" + out + "]\n" : json ? out + "\n" : out).c_str(), stdout);
    return worst;
}

// Runs the command; returns its exit status.  Options may stand anywhere
// before "--"; the first operand before it may name the check-host command.
int run(int argc, char **argv)
{
    bool json = false;
    bool list = false;
    bool each = false;
    const char *dll = nullptr;
    bool options = true;
    std::vector<const char *> operands;  // a null where the options ended
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!options || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argv[i]);
        } else if (argument == "--") {
            options = false;
            operands.push_back(nullptr);  // marks where the options ended
        } else if (argument == "--json") {
            json = true;
        } else if (argument == "--list") {
            list = true;
        } else if (argument == "--each") {
            each = true;
        } else if (argument == "--dll") {
            if (++i == argc) {
                return usage_error("--dll needs", "a FILE");
            }
            dll = argv[i];
        } else if (argument == "--version") {
            std::printf("kivvm (kivvariantmanager) %s\n", KIVVM_VERSION_STRING);
            return kExitSelected;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return kExitSelected;
        } else {
            return usage_error("unknown option", argv[i]);
        }
    }
    const bool check_host = !operands.empty() && operands[0] != nullptr &&
                            std::string_view(operands[0]) == "check-host";
    operands.erase(std::remove(operands.begin(), operands.end(), nullptr), operands.end());
    if (check_host) {
        operands.erase(operands.begin());
        if (list) {
            return usage_error("check-host does not take", "--list");
        }
        return !operands.empty() ? check_hosts({operands.begin(), operands.end()}, dll, json, each)
                                 : usage_error("check-host needs a FILE", "");
    }
    if (each || dll != nullptr) {
        return usage_error("only check-host takes", each ? "--each" : "--dll");
    }
    if (list) {
        return operands.empty() ? list_table(json) : usage_error("--list takes no identity:", operands[0]);
    }
    if (operands.size() != 1) {
        return usage_error(nullptr, nullptr);
    }
    return show_identity(operands[0], json);
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
