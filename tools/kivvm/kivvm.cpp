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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_check.h"
#include "kivvariantmanager.h"
#include "report.h"
#include "selection.h"
#include "variant_table.h"

#ifndef _WIN32
#include <dirent.h>
#include <strings.h>
#endif

#ifdef __MINGW32__
// Windows hands a program its command line as typed: kivvm.exe expands
// wildcards itself (check-host host.exe plugins\*.dll), as a Visual C++
// program linked with setargv.obj does.
extern "C" int _dowildcard = -1;
#endif

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
    "       kivvm check-host [--json] [--each] [--dll DLL] [--] FILE...\n"
    "       kivvm --version | --help\n"
    "\n"
    "Selects the variant whose key occurs in IDENTITY and prints its identity,\n"
    "derived names and setup paths.  Options may stand anywhere before --.\n"
    "\n"
    "  --json     print JSON instead of aligned text; always valid UTF-8: a\n"
    "             byte that is not part of valid UTF-8 becomes U+FFFD\n"
    "  --list     print every row of the variant table built into this kivvm,\n"
    "             and which identities can select it\n"
    "  --each     check-host: judge each FILE as a process of its own\n"
    "  --dll DLL  check-host: check DLL as the kivvariantmanager.dll that loads,\n"
    "             not the one beside the first FILE\n"
    "  --version  print the library version this kivvm was built with\n"
    "  -h, --help print this help and exit\n"
    "  --         end of options: an IDENTITY that starts with '-' follows\n"
    "\n"
    "check-host reads the Windows programs and DLLs of one process (a host and\n"
    "its plugins) and says which one build of kivvariantmanager.dll serves\n"
    "every FILE that imports it or names it for LoadLibrary.  A FILE that\n"
    "releases the setup path list with its own free() or delete[] needs the\n"
    "build on the C runtime it frees with; one on another runtime, on several,\n"
    "or linked in statically fits only if it uses KIVVMFreeSetupPaths or never\n"
    "KIVVMGetSetupPaths.  FILEs that do not use the DLL change nothing.  The\n"
    "kivvariantmanager.dll that will load (beside the first FILE, in any case,\n"
    "or DLL) must be ours, of their architecture and C runtime, and export\n"
    "every name they ask for; otherwise it says which zip to take instead.\n"
    "\n"
    "Exit status: 0 a variant was selected (or --list, --version, --help; with\n"
    "check-host: one build serves every FILE that uses the DLL, and the DLL\n"
    "checked is ours and serves them), 1 no variant matches IDENTITY (no single\n"
    "build serves them, or the DLL checked will not), 2 bad usage, 3 the output\n"
    "could not be written, 4 a FILE or the DLL cannot be read or is not a\n"
    "well-formed PE file.  man kivvm lists the JSON keys.\n";

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

// A file's image, or why it cannot be read (said on stderr too).
std::string read_image(const char *file, std::vector<unsigned char> &bytes, kivvm_tool::PeImage &image)
{
    std::string error = read_file(file, bytes);
    if (error.empty()) {
        error = kivvm_tool::read_pe_imports(bytes.data(), bytes.size(), image);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "kivvm: %s: %s\n", file, error.c_str());
    }
    return error;
}

// One FILE's check, or why it cannot be read.
kivvm_tool::HostFile check_file(const char *file, const kivvm_tool::HostFacts &facts)
{
    kivvm_tool::HostFile host{file, "", {}};
    std::vector<unsigned char> bytes;
    kivvm_tool::PeImage image;
    host.error = read_image(file, bytes, image);
    if (host.error.empty()) {
        const kivvm_tool::PeText text = kivvm_tool::find_text(bytes.data(), bytes.size(), facts.dll, facts.prefix);
        host.check = kivvm_tool::check_host(image, text, facts);
    }
    return host;
}

// The DLL of that name in the folder of file, in any case, or empty: its
// name as written first, which on Windows' own file systems finds any case;
// elsewhere, then the folder's entries.
std::string dll_beside(const std::string &file, const std::string &dll)
{
#ifdef _WIN32
    const std::size_t slash = file.find_last_of("/\\:");
#else
    const std::size_t slash = file.rfind('/');
#endif
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    std::string path;
    if (std::FILE *stream = std::fopen((folder + dll).c_str(), "rb")) {
        std::fclose(stream);
        path = folder + dll;
    }
#ifndef _WIN32
    DIR *directory = path.empty() ? opendir(folder.empty() ? "." : folder.c_str()) : nullptr;
    for (const dirent *entry = directory != nullptr ? readdir(directory) : nullptr; entry != nullptr && path.empty();
         entry = readdir(directory)) {
        if (strcasecmp(entry->d_name, dll.c_str()) == 0) {
            path = folder + entry->d_name;
        }
    }
    if (directory != nullptr) {
        closedir(directory);
    }
#endif
    return path;
}

// The DLL named, or else the one beside the first file; null with neither.
std::unique_ptr<kivvm_tool::DllCheck> find_dll(const char *named, const std::string &first,
                                                const kivvm_tool::HostFacts &facts)
{
    const std::string path = named != nullptr ? named : dll_beside(first, facts.dll);
    if (path.empty()) {
        return nullptr;
    }
    std::vector<unsigned char> bytes;
    kivvm_tool::PeImage image;
    const std::string error = read_image(path.c_str(), bytes, image);
    auto dll = std::make_unique<kivvm_tool::DllCheck>();
    if (error.empty()) {
        *dll = kivvm_tool::check_dll(path, image, facts);
    }
    dll->path = path;
    dll->beside = named == nullptr;
    dll->error = error;
    return dll;
}

// The FILEs as one process, or with each, each as a process of its own,
// with the DLL named or the one beside its first FILE.
int check_hosts(const std::vector<const char *> &files, const char *dll_file, bool json, bool each)
{
    const kivvm_tool::HostFacts &facts = kivvm_tool::build_facts();
    std::vector<std::vector<kivvm_tool::HostFile>> processes(each ? files.size() : 1);
    for (std::size_t i = 0; i < files.size(); ++i) {
        processes[each ? i : 0].push_back(check_file(files[i], facts));
    }
    bool all_fit = true;
    bool all_read = true;
    std::string out;
    for (const std::vector<kivvm_tool::HostFile> &process : processes) {
        const std::unique_ptr<kivvm_tool::DllCheck> dll = find_dll(dll_file, process[0].file, facts);
        const kivvm_tool::Verdict verdict = kivvm_tool::judge_process(process, facts, dll.get());
        all_fit = all_fit && verdict.fits;
        all_read = all_read && (dll == nullptr || dll->error.empty());
        for (const kivvm_tool::HostFile &file : process) {
            all_read = all_read && file.error.empty();
        }
        out += json ? (out.empty() ? "" : ",\n") + kivvm_tool::json_process(process, dll.get(), verdict)
                    : (out.empty() ? "" : "\n") + kivvm_tool::text_process(process, dll.get(), verdict, facts);
    }
    std::fputs((json && each ? "[" + out + "]\n" : json ? out + "\n" : out).c_str(), stdout);
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

// Runs the command; returns its exit status.  Options may stand anywhere
// before "--"; the first operand before it may name the check-host command.
int run(int argc, char **argv)
{
    bool json = false;
    bool list = false;
    bool each = false;
    const char *dll = nullptr;
    bool options = true;
    std::vector<const char *> operands;
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
        return !operands.empty() ? check_hosts(operands, dll, json, each) : usage_error("check-host needs a FILE", "");
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
