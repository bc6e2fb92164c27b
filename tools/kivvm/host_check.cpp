// SPDX-License-Identifier: MIT
#include "host_check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <utility>

#include "report.h"

namespace kivvm_tool {
namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Whether a DLL's name (any case) matches a pattern with at most one '*'.
bool matches(const std::string &dll, const std::string &pattern)
{
    const std::string name = lower(dll);
    const std::size_t star = pattern.find('*');
    if (star == std::string::npos) {
        return name == pattern;
    }
    const std::size_t tail = pattern.size() - star - 1;
    return name.size() >= pattern.size() - 1 && name.compare(0, star, pattern, 0, star) == 0 &&
           name.compare(name.size() - tail, tail, pattern, star + 1, tail) == 0;
}

// Edit distance, ignoring case: d[i][j] is the distance between the first
// i characters of a and the first j of b.
std::size_t distance(const std::string &a, const std::string &b)
{
    const std::string x = lower(a);
    const std::string y = lower(b);
    std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
    for (std::size_t i = 0; i <= x.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= y.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= x.size(); ++i) {
        for (std::size_t j = 1; j <= y.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
        }
    }
    return d[x.size()][y.size()];
}

// The export closest to name, if it is within a few edits.
std::string nearest_export(const std::string &name, const std::vector<std::string> &exports)
{
    constexpr std::size_t kClose = 3;
    std::string best;
    std::size_t best_distance = kClose + 1;
    for (const std::string &candidate : exports) {
        const std::size_t d = distance(name, candidate);
        if (d < best_distance) {
            best = candidate;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace

std::string comma_list(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

namespace {

// Functions through which a file frees memory on its C runtime's heap:
// the C functions, and operator delete and delete[] (plain and sized) as
// Visual C++ (32-bit, 64-bit) and mingw-w64 (32-bit, 64-bit) spell them.
bool frees(const std::string &function)
{
    static const std::vector<std::string> kFunctions = {
        "free", "realloc", "_aligned_free",
        "??3@YAXPAX@Z", "??_V@YAXPAX@Z", "??3@YAXPAXI@Z", "??_V@YAXPAXI@Z",
        "??3@YAXPEAX@Z", "??_V@YAXPEAX@Z", "??3@YAXPEAX_K@Z", "??_V@YAXPEAX_K@Z",
        "_ZdlPv", "_ZdaPv", "_ZdlPvj", "_ZdaPvj", "_ZdlPvy", "_ZdaPvy"};
    return std::find(kFunctions.begin(), kFunctions.end(), function) != kFunctions.end();
}

// The C runtime a DLL belongs to: one of ours by name, another (a Visual C++
// runtime, debug ones included) by its DLL's name in lower case, or none.
std::string runtime_of(const std::string &dll, const BuildFacts &facts)
{
    for (const BuildFacts::Runtime &runtime : facts.runtimes) {
        for (const std::string &pattern : runtime.dlls) {
            if (matches(dll, pattern)) {
                return runtime.name;
            }
        }
    }
    for (const char *pattern : {"msvcr*.dll", "ucrtbase*.dll", "crtdll.dll"}) {
        if (matches(dll, pattern)) {
            return lower(dll);
        }
    }
    return "";
}

void add_once(std::vector<std::string> &items, const std::string &item)
{
    if (std::find(items.begin(), items.end(), item) == items.end()) {
        items.push_back(item);
    }
}

// Whose heap a DLL's heap functions free on: its C runtime's, or where it
// is none (a C++ library's DLL), its own, named by the DLL in lower case.
std::string heap_of(const std::string &dll, const BuildFacts &facts)
{
    const std::string runtime = runtime_of(dll, facts);
    return runtime.empty() ? lower(dll) : runtime;
}

// Our name for a PE machine, or empty.
std::string architecture_of(std::uint16_t machine, const BuildFacts &facts)
{
    for (const BuildFacts::Architecture &architecture : facts.architectures) {
        if (architecture.machine == machine) {
            return architecture.name;
        }
    }
    return "";
}

// Why a file on a runtime no build shares frees on a heap of its own.
std::string own_heap_reason(const Platform &check, const BuildFacts &facts)
{
    if (check.runtime == RuntimeKind::other) {
        return "no build of ours is on its C runtime (" + check.runtime_name + ")";
    }
    if (check.runtime == RuntimeKind::linked) {
        return "its C runtime is linked in statically (it imports no C runtime DLL), so its heap is its own";
    }
    std::vector<std::string> freeing;
    for (const HeapImport &import : check.frees_with) {
        add_once(freeing, heap_of(import.dll, facts));
    }
    if (freeing.size() != 1) {
        return freeing.empty() ? "it imports more than one C runtime (" + comma_list(check.runtime_dlls) + ")"
                               : "it frees with more than one runtime (" + comma_list(freeing) + ")";
    }
    // The C runtimes besides the one it frees with.
    std::vector<std::string> others;
    for (const std::string &dll : check.runtime_dlls) {
        if (heap_of(dll, facts) != freeing[0]) {
            others.push_back(dll);
        }
    }
    return "it frees with " + freeing[0] + " while it imports " + comma_list(others) + " too";
}

// The image's architecture, its manifest's bindings, and the C runtime whose
// heap it frees on: from the DLLs it imports its heap functions from, and
// every C runtime DLL it imports.
void platform_of(const PeImage &image, const BuildFacts &facts, Platform &check)
{
    check.machine = image.machine;
    check.architecture = architecture_of(image.machine, facts);
    check.binds = read_manifest(image.manifest);
    std::vector<std::string> heaps;
    for (const PeModule &module : image.modules) {
        if (!runtime_of(module.dll, facts).empty()) {
            add_once(heaps, runtime_of(module.dll, facts));
            add_once(check.runtime_dlls, module.dll);
        }
        for (const PeImport &import : module.imports) {
            if (frees(import.name)) {
                check.frees_with.push_back({import.name, module.dll});
                add_once(heaps, heap_of(module.dll, facts));
            }
        }
    }
    if (heaps.size() != 1) {
        check.runtime = heaps.empty() ? RuntimeKind::linked : RuntimeKind::several;
    } else {
        check.runtime_name = heaps[0];
        const bool ours = std::any_of(facts.runtimes.begin(), facts.runtimes.end(),
                                      [&](const BuildFacts::Runtime &runtime) { return runtime.name == heaps[0]; });
        check.runtime = ours ? RuntimeKind::ours : RuntimeKind::other;
    }
    if (check.runtime != RuntimeKind::ours) {
        check.own_heap = own_heap_reason(check, facts);
    }
}

// Whether an imported DLL is ours; Windows adds ".dll" to a name without
// an extension.
bool is_our_dll(const std::string &dll, const BuildFacts &facts)
{
    return lower(dll) == lower(facts.dll) || lower(dll) + ".dll" == lower(facts.dll);
}

bool names(const HostCheck &check, const char *name)
{
    return std::any_of(check.names.begin(), check.names.end(),
                       [name](const NameCheck &entry) { return entry.exported && entry.name == name; });
}

// Each name it asks our DLL for, checked against the exports.
void check_names(const PeImage &image, const PeStrings &text, const BuildFacts &facts, HostCheck &check)
{
    const std::string imports = check.use == Use::imports ? "it imports " : "its strings name ";
    const auto add = [&](const std::string &name, std::uint16_t ordinal, bool delay_loaded) {
        NameCheck entry{name, ordinal, delay_loaded, false, ""};
        if (name.empty()) {
            check.reasons.push_back("it imports ordinal " + std::to_string(ordinal) + " from " + facts.dll +
                                    ": ordinals are not part of the interface");
        } else if (std::find(facts.exports.begin(), facts.exports.end(), name) != facts.exports.end()) {
            entry.exported = true;
        } else {
            entry.nearest = nearest_export(name, facts.exports);
            check.reasons.push_back(imports + name + ", which " + facts.dll + " does not export" +
                                    (entry.nearest.empty() ? "" : " (nearest: " + entry.nearest + ")"));
        }
        check.names.push_back(entry);
    };
    if (check.use == Use::strings) {
        for (const std::string &word : text.words) {
            add(word, {}, false);
        }
        return;
    }
    for (const PeModule &module : image.modules) {
        if (is_our_dll(module.dll, facts)) {
            for (const PeImport &import : module.imports) {
                add(import.name, import.ordinal, module.delay_loaded);
            }
        }
    }
}

// The builds that serve a file that uses our DLL, or the reasons none does.
void find_builds(const BuildFacts &facts, HostCheck &check)
{
    std::vector<BuildFacts::Build> any;  // of its architecture
    for (const BuildFacts::Build &build : facts.builds) {
        if (build.architecture == check.architecture) {
            any.push_back(build);
        }
    }
    const bool imports = check.use == Use::imports;
    const bool told = imports || !check.names.empty();
    const bool asks = names(check, "KIVVMGetSetupPaths");
    const bool releases = names(check, "KIVVMFreeSetupPaths");
    const std::string since = releases ? imports ? "it imports KIVVMFreeSetupPaths" : "its strings name KIVVMFreeSetupPaths"
                              : imports ? "it never imports KIVVMGetSetupPaths"
                                        : "its strings never name KIVVMGetSetupPaths";
    if (!told) {
        check.notes.push_back("its strings name no function of ours: what it asks GetProcAddress for cannot be "
                              "checked");
    }
    if (told && (releases || !asks)) {
        check.builds = any;
        if (check.reasons.empty()) {
            check.notes.push_back((check.runtime == RuntimeKind::ours ? "" : check.own_heap + "; ") + "any " +
                                  check.architecture + " build will do, since " + since);
        }
    } else if (check.runtime == RuntimeKind::ours) {
        std::copy_if(any.begin(), any.end(), std::back_inserter(check.builds),
                     [&](const BuildFacts::Build &build) { return build.runtime == check.runtime_name; });
        if (check.builds.empty() && !check.architecture.empty()) {
            check.reasons.push_back("no build of ours is for " + check.architecture + " on " + check.runtime_name);
        }
    } else if (!told) {
        check.reasons.push_back(check.own_heap + ", and whether it releases the setup path list with "
                                "KIVVMFreeSetupPaths cannot be told from its strings");
    } else {
        check.reasons.push_back(check.own_heap + ", and " + (imports ? "it imports" : "its strings name") +
                                " KIVVMGetSetupPaths without KIVVMFreeSetupPaths: releasing the list with its "
                                "own free() or delete[] would corrupt a heap");
    }
}

// A dotted version's numbers without its trailing zeros, so that versions
// compare as vectors do: "1.2" is "1.2.0.0", and older than "1.10".
std::vector<unsigned long> numbers(const std::string &version)
{
    std::vector<unsigned long> parts;
    std::istringstream text(version);
    for (std::string part; std::getline(text, part, '.');) {
        parts.push_back(std::strtoul(part.c_str(), nullptr, 10));
    }
    while (!parts.empty() && parts.back() == 0) {
        parts.pop_back();
    }
    return parts;
}

std::string major_of(const std::string &version)
{
    return version.substr(0, version.find('.'));
}

// The assembly our build on a runtime binds, or null where it binds none.
const PeAssembly *assembly_of(const std::string &runtime, const BuildFacts &facts)
{
    for (const BuildFacts::Runtime &candidate : facts.runtimes) {
        if (candidate.name == runtime && !candidate.assembly.name.empty()) {
            return &candidate.assembly;
        }
    }
    return nullptr;
}

}  // namespace

std::string assembly_text(const PeAssembly &assembly)
{
    return assembly.name + " " + assembly.version + (assembly.architecture.empty() ? "" : " " + assembly.architecture);
}

namespace {

// Who provides an assembly of a side-by-side runtime.
std::string provider(const PeAssembly &assembly)
{
    return lower(assembly.name) == "microsoft.vc80.crt" ? vc80_redistributable(assembly.version)
                                                        : "its redistributable";
}

// Whether the DLL exports a name, by name.
bool exports_name(const DllCheck &dll, const std::string &name)
{
    return std::any_of(dll.exports.begin(), dll.exports.end(),
                       [&](const PeExport &entry) { return entry.name == name; });
}

// What is wrong with the DLL for these files, and what to know of it.
void judge_dll(const std::vector<HostFile> &files, const BuildFacts &facts, const Verdict &verdict, DllCheck &dll)
{
    if (!dll.ours) {
        dll.reasons.push_back(!dll.product_name.empty() && dll.product_name != facts.product
                                  ? "its version resource names another product (" + dll.product_name +
                                        "): it is not " + facts.product + "'s"
                                  : "it exports no KIVVMInit: it is not " + facts.product + "'s");
        return;
    }
    if (dll.file_version.empty()) {
        dll.notes.push_back("it has no version resource: which version it is cannot be told");
    } else if (major_of(dll.file_version) != major_of(facts.version)) {
        dll.reasons.push_back("it is version " + dll.file_version + " and this kivvm " + facts.version +
                              ": another major version is another interface");
    } else if (numbers(dll.file_version) != numbers(facts.version)) {
        const bool newer = numbers(dll.file_version) > numbers(facts.version);
        dll.notes.push_back("it is version " + dll.file_version + " and this kivvm " + facts.version +
                            (newer ? ": a newer one of the same major version serves every host of an older one"
                                   : ": an older one may lack functions, which its export table shows"));
    }
    // The files that use it: what they ask it for, and their architecture.
    const HostFile *user = nullptr;
    for (const HostFile &file : files) {
        if (!file.error.empty() || file.check.use == Use::none) {
            continue;
        }
        user = user == nullptr ? &file : user;
        for (const NameCheck &entry : file.check.names) {
            if (entry.exported && !exports_name(dll, entry.name)) {
                dll.reasons.push_back(file.file + (file.check.use == Use::imports ? " imports " : "'s strings name ") +
                                      entry.name + ", which this DLL does not export");
            }
        }
    }
    if (user == nullptr) {
        return;
    }
    if (user->check.machine != dll.machine) {
        const auto name = [](const std::string &architecture, std::uint16_t machine) {
            return architecture.empty() ? "machine " + hex(machine) : architecture;
        };
        dll.reasons.push_back("it is for " + name(dll.architecture, dll.machine) + " and " + user->file + " for " +
                              name(user->check.architecture, user->check.machine) + ": Windows will not load it");
        return;
    }
    std::vector<std::string> needed;
    for (const BuildFacts::Build &build : verdict.builds) {
        if (build.architecture == dll.architecture) {
            add_once(needed, build.runtime);
        }
    }
    if (!needed.empty() && (dll.runtime != RuntimeKind::ours ||
                            std::find(needed.begin(), needed.end(), dll.runtime_name) == needed.end())) {
        dll.reasons.push_back(
            (dll.runtime == RuntimeKind::ours ? "it is the build on " + dll.runtime_name
             : dll.runtime == RuntimeKind::linked ? std::string("it imports no C runtime DLL")
                                               : "it imports " + comma_list(dll.runtime_dlls)) +
            ", and these files need the one on " + comma_list(needed));
    }
    const PeAssembly *assembly = assembly_of(dll.runtime_name, facts);
    if (dll.runtime == RuntimeKind::ours && assembly != nullptr &&
        std::none_of(dll.binds.begin(), dll.binds.end(),
                     [&](const PeAssembly &bound) { return lower(bound.name) == lower(assembly->name); })) {
        dll.reasons.push_back("it imports " + comma_list(dll.runtime_dlls) + " but its manifest binds no " + assembly->name +
                              ": Windows will not find that runtime, and the DLL does not load");
    }
}

// What the files cannot show: the side-by-side runtime the DLL binds (the
// one checked where it serves, else the build named) must be installed, at
// the version it binds, whatever older one a host binds.
void side_by_side(const std::vector<HostFile> &files, const BuildFacts &facts, const DllCheck *dll, Verdict &verdict)
{
    PeAssembly binding;
    if (dll != nullptr && dll->error.empty() && dll->reasons.empty()) {
        for (const BuildFacts::Runtime &runtime : facts.runtimes) {
            for (const PeAssembly &bound : dll->binds) {
                if (!runtime.assembly.name.empty() && lower(bound.name) == lower(runtime.assembly.name)) {
                    binding = bound;
                }
            }
        }
    } else if (verdict.has_build && assembly_of(verdict.build.runtime, facts) != nullptr) {
        binding = *assembly_of(verdict.build.runtime, facts);
    }
    if (binding.name.empty()) {
        return;
    }
    verdict.notes.push_back(facts.dll + " binds " + assembly_text(binding) + ", which " + provider(binding) +
                            " provides: it must be installed, which these files cannot show");
    for (const HostFile &file : files) {
        for (const PeAssembly &bound : file.check.binds) {
            if (lower(bound.name) == lower(binding.name) && numbers(bound.version) < numbers(binding.version)) {
                verdict.notes.push_back(file.file + "'s manifest binds " + bound.name + " " + bound.version +
                                        ", older than " + binding.version + ": the machine needs " +
                                        binding.version + " installed too, or " + facts.dll +
                                        " will not start (\"side-by-side configuration\")");
            }
        }
    }
}

}  // namespace

std::string vc80_redistributable(const std::string &version)
{
    static const std::pair<const char *, const char *> kReleases[] = {
        {"8.0.50727.42", "the Visual C++ 2005 redistributable"},
        {"8.0.50727.762", "the Visual C++ 2005 SP1 redistributable"},
        {"8.0.50727.4053", "the Visual C++ 2005 SP1 redistributable's ATL security update (KB973544)"},
        {"8.0.50727.6195", "the Visual C++ 2005 SP1 redistributable's MFC security update (KB2538242)"}};
    for (const auto &[release, name] : kReleases) {
        if (numbers(version) <= numbers(release)) {
            return std::string(name) + " (" + release + ")";
        }
    }
    return std::string("no Visual C++ 2005 redistributable this kivvm knows (the newest, ") +
           std::prev(std::end(kReleases))->first + ", is older)";
}

DllCheck check_dll(const std::string &path, const PeImage &image, const BuildFacts &facts)
{
    DllCheck dll;
    dll.path = path;
    platform_of(image, facts, dll);
    dll.exports = image.exports;
    const PeVersion version = read_version(image.version);
    dll.file_version = version.file_version;
    dll.product_version = version.product_version;
    const auto product = std::find_if(version.strings.begin(), version.strings.end(),
                                      [](const auto &string) { return string.first == "ProductName"; });
    dll.product_name = product != version.strings.end() ? product->second : "";
    dll.ours = exports_name(dll, "KIVVMInit") && (dll.product_name.empty() || dll.product_name == facts.product);
    return dll;
}

HostCheck check_host(const PeImage &image, const PeStrings &text, const BuildFacts &facts)
{
    HostCheck check;
    platform_of(image, facts, check);
    check.use = text.names_dll ? Use::strings : Use::none;
    for (const PeModule &module : image.modules) {
        if (is_our_dll(module.dll, facts)) {
            check.use = Use::imports;
        }
    }
    if (check.use == Use::none) {
        return check;
    }
    if (check.architecture.empty()) {
        std::vector<std::string> ours;
        for (const BuildFacts::Architecture &architecture : facts.architectures) {
            ours.push_back(architecture.name);
        }
        check.reasons.push_back("its architecture (machine " + hex(image.machine) + ") is none we build a DLL for (" +
                                comma_list(ours) + ")");
    }
    check_names(image, text, facts, check);
    find_builds(facts, check);
    if (!check.reasons.empty()) {
        check.builds.clear();
    }
    return check;
}

namespace {

// The process alone: the builds that serve every file, and the one named.
Verdict judge_files(const std::vector<HostFile> &files, const BuildFacts &facts)
{
    Verdict verdict;
    std::vector<BuildFacts::Build> serve_all = facts.builds;
    bool unknown = false;
    for (const HostFile &file : files) {
        if (!file.error.empty()) {
            unknown = true;
        } else if (file.check.use != Use::none) {
            std::vector<BuildFacts::Build> serve;
            std::copy_if(serve_all.begin(), serve_all.end(), std::back_inserter(serve),
                         [&](const BuildFacts::Build &build) {
                             return std::any_of(file.check.builds.begin(), file.check.builds.end(),
                                                [&](const BuildFacts::Build &b) { return b.preset == build.preset; });
                         });
            serve_all = serve;
        }
    }
    const bool used = std::any_of(files.begin(), files.end(), [](const HostFile &file) {
        return file.error.empty() && file.check.use != Use::none;
    });
    verdict.fits = !unknown && (!used || !serve_all.empty());
    if (verdict.fits) {
        if (!used) {
            return verdict;
        }
        verdict.builds = serve_all;
        // A runtime the process loads already, then one every Windows has.
        const auto rank = [&](const BuildFacts::Build &build) {
            const auto runtime = std::find_if(facts.runtimes.begin(), facts.runtimes.end(),
                                              [&](const BuildFacts::Runtime &r) { return r.name == build.runtime; });
            const bool loaded = std::any_of(files.begin(), files.end(), [&](const HostFile &file) {
                return std::any_of(file.check.runtime_dlls.begin(), file.check.runtime_dlls.end(),
                                   [&](const std::string &dll) { return runtime_of(dll, facts) == build.runtime; });
            });
            return std::make_pair(!loaded, runtime == facts.runtimes.end() || !runtime->everywhere);
        };
        verdict.build = *std::min_element(serve_all.begin(), serve_all.end(),
                                          [&](const BuildFacts::Build &a, const BuildFacts::Build &b) {
                                              return rank(a) < rank(b);
                                          });
        verdict.has_build = true;
        return verdict;
    }
    for (const HostFile &file : files) {
        if (!file.error.empty()) {
            verdict.reasons.push_back(file.file + ": it cannot be read, so whether it uses " + facts.dll +
                                      " is unknown");
        } else if (file.check.use != Use::none) {
            std::vector<std::string> presets;
            for (const BuildFacts::Build &build : file.check.builds) {
                presets.push_back(build.preset);
            }
            verdict.reasons.push_back(file.file + (presets.empty()       ? ": no build serves it"
                                                    : presets.size() == 1 ? " needs " + presets[0]
                                                                          : " needs one of " + comma_list(presets)));
        }
    }
    return verdict;
}

}  // namespace

Verdict judge_process(const std::vector<HostFile> &files, const BuildFacts &facts, DllCheck *dll)
{
    Verdict verdict = judge_files(files, facts);
    if (dll != nullptr && dll->error.empty()) {
        judge_dll(files, facts, verdict, *dll);
        const auto own = std::find_if(verdict.builds.begin(), verdict.builds.end(), [&](const BuildFacts::Build &b) {
            return b.architecture == dll->architecture && b.runtime == dll->runtime_name;
        });
        if (dll->reasons.empty() && own != verdict.builds.end()) {
            verdict.build = *own;
        }
    }
    if (dll != nullptr && (!dll->error.empty() || !dll->reasons.empty())) {
        verdict.fits = false;
        verdict.instead = verdict.has_build ? verdict.build.zip : "";
    }
    side_by_side(files, facts, dll, verdict);
    return verdict;
}

}  // namespace kivvm_tool
