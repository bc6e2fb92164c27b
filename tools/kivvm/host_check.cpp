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

std::string join(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

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
std::string runtime_of(const std::string &dll, const HostFacts &facts)
{
    for (const HostFacts::Runtime &runtime : facts.runtimes) {
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
std::string heap_of(const std::string &dll, const HostFacts &facts)
{
    const std::string runtime = runtime_of(dll, facts);
    return runtime.empty() ? lower(dll) : runtime;
}

// Our name for a PE machine, or empty.
std::string architecture_of(std::uint16_t machine, const HostFacts &facts)
{
    for (const HostFacts::Architecture &architecture : facts.architectures) {
        if (architecture.machine == machine) {
            return architecture.name;
        }
    }
    return "";
}

// The image's architecture, its manifest's bindings, and the C runtime whose
// heap it frees on: from the DLLs it imports its heap functions from, and
// every C runtime DLL it imports.
void find_image(const PeImage &image, const HostFacts &facts, ImageCheck &check)
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
        check.runtime = heaps.empty() ? Runtime::linked : Runtime::several;
        return;
    }
    check.runtime_name = heaps[0];
    const bool ours = std::any_of(facts.runtimes.begin(), facts.runtimes.end(),
                                  [&](const HostFacts::Runtime &runtime) { return runtime.name == heaps[0]; });
    check.runtime = ours ? Runtime::ours : Runtime::other;
}

// Why a file on a runtime no build shares frees on a heap of its own.
std::string elsewhere(const ImageCheck &check, const HostFacts &facts)
{
    if (check.runtime == Runtime::other) {
        return "no build of ours is on its C runtime (" + check.runtime_name + ")";
    }
    if (check.runtime == Runtime::linked) {
        return "its C runtime is linked in statically (it imports no C runtime DLL), so its heap is its own";
    }
    std::vector<std::string> freeing;
    for (const HeapImport &import : check.frees_with) {
        add_once(freeing, heap_of(import.dll, facts));
    }
    if (freeing.size() != 1) {
        return freeing.empty() ? "it imports more than one C runtime (" + join(check.runtime_dlls) + ")"
                               : "it frees with more than one runtime (" + join(freeing) + ")";
    }
    // The C runtimes besides the one it frees with.
    std::vector<std::string> others;
    for (const std::string &dll : check.runtime_dlls) {
        if (heap_of(dll, facts) != freeing[0]) {
            others.push_back(dll);
        }
    }
    return "it frees with " + freeing[0] + " while it imports " + join(others) + " too";
}

// Whether an imported DLL is ours; Windows adds ".dll" to a name without
// an extension.
bool is_our_dll(const std::string &dll, const HostFacts &facts)
{
    return lower(dll) == lower(facts.dll) || lower(dll) + ".dll" == lower(facts.dll);
}

bool names(const HostCheck &check, const char *name)
{
    return std::any_of(check.names.begin(), check.names.end(),
                       [name](const NameCheck &entry) { return entry.exported && entry.name == name; });
}

// Each name it asks our DLL for, checked against the exports.
void check_names(const PeImage &image, const PeText &text, const HostFacts &facts, HostCheck &check)
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
void find_builds(const HostFacts &facts, HostCheck &check)
{
    std::vector<HostFacts::Build> any;  // of its architecture
    for (const HostFacts::Build &build : facts.builds) {
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
            check.notes.push_back((check.runtime == Runtime::ours ? "" : elsewhere(check, facts) + "; ") + "any " +
                                  check.architecture + " build will do, since " + since);
        }
    } else if (check.runtime == Runtime::ours) {
        std::copy_if(any.begin(), any.end(), std::back_inserter(check.builds),
                     [&](const HostFacts::Build &build) { return build.runtime == check.runtime_name; });
        if (check.builds.empty() && !check.architecture.empty()) {
            check.reasons.push_back("no build of ours is for " + check.architecture + " on " + check.runtime_name);
        }
    } else if (!told) {
        check.reasons.push_back(elsewhere(check, facts) + ", and whether it releases the setup path list with "
                                "KIVVMFreeSetupPaths cannot be told from its strings");
    } else {
        check.reasons.push_back(elsewhere(check, facts) + ", and " + (imports ? "it imports" : "its strings name") +
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
const PeAssembly *assembly_of(const std::string &runtime, const HostFacts &facts)
{
    for (const HostFacts::Runtime &candidate : facts.runtimes) {
        if (candidate.name == runtime && !candidate.assembly.name.empty()) {
            return &candidate.assembly;
        }
    }
    return nullptr;
}

std::string describe(const PeAssembly &assembly)
{
    return assembly.name + " " + assembly.version + (assembly.architecture.empty() ? "" : " " + assembly.architecture);
}

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
void judge_dll(const std::vector<HostFile> &files, const HostFacts &facts, const Verdict &verdict, DllCheck &dll)
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
    for (const HostFacts::Build &build : verdict.builds) {
        if (build.architecture == dll.architecture) {
            add_once(needed, build.runtime);
        }
    }
    if (!needed.empty() && (dll.runtime != Runtime::ours ||
                            std::find(needed.begin(), needed.end(), dll.runtime_name) == needed.end())) {
        dll.reasons.push_back(
            (dll.runtime == Runtime::ours ? "it is the build on " + dll.runtime_name
             : dll.runtime == Runtime::linked ? std::string("it imports no C runtime DLL")
                                               : "it imports " + join(dll.runtime_dlls)) +
            ", and these files need the one on " + join(needed));
    }
    const PeAssembly *assembly = assembly_of(dll.runtime_name, facts);
    if (dll.runtime == Runtime::ours && assembly != nullptr &&
        std::none_of(dll.binds.begin(), dll.binds.end(),
                     [&](const PeAssembly &bound) { return lower(bound.name) == lower(assembly->name); })) {
        dll.reasons.push_back("it imports " + join(dll.runtime_dlls) + " but its manifest binds no " + assembly->name +
                              ": Windows will not find that runtime, and the DLL does not load");
    }
}

// What the files cannot show: the side-by-side runtime the DLL binds (the
// one checked where it serves, else the build named) must be installed, at
// the version it binds, whatever older one a host binds.
void side_by_side(const std::vector<HostFile> &files, const HostFacts &facts, const DllCheck *dll, Verdict &verdict)
{
    PeAssembly binding;
    if (dll != nullptr && dll->error.empty() && dll->reasons.empty()) {
        for (const HostFacts::Runtime &runtime : facts.runtimes) {
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
    verdict.notes.push_back(facts.dll + " binds " + describe(binding) + ", which " + provider(binding) +
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

DllCheck check_dll(const std::string &path, const PeImage &image, const HostFacts &facts)
{
    DllCheck dll;
    dll.path = path;
    find_image(image, facts, dll);
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

HostCheck check_host(const PeImage &image, const PeText &text, const HostFacts &facts)
{
    HostCheck check;
    find_image(image, facts, check);
    check.use = text.holds_dll ? Use::strings : Use::none;
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
        for (const HostFacts::Architecture &architecture : facts.architectures) {
            ours.push_back(architecture.name);
        }
        check.reasons.push_back("its architecture (machine " + hex(image.machine) + ") is none we build a DLL for (" +
                                join(ours) + ")");
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
Verdict judge_files(const std::vector<HostFile> &files, const HostFacts &facts)
{
    Verdict verdict;
    std::vector<HostFacts::Build> serve_all = facts.builds;
    bool unknown = false;
    for (const HostFile &file : files) {
        if (!file.error.empty()) {
            unknown = true;
        } else if (file.check.use != Use::none) {
            std::vector<HostFacts::Build> serve;
            std::copy_if(serve_all.begin(), serve_all.end(), std::back_inserter(serve),
                         [&](const HostFacts::Build &build) {
                             return std::any_of(file.check.builds.begin(), file.check.builds.end(),
                                                [&](const HostFacts::Build &b) { return b.preset == build.preset; });
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
        const auto rank = [&](const HostFacts::Build &build) {
            const auto runtime = std::find_if(facts.runtimes.begin(), facts.runtimes.end(),
                                              [&](const HostFacts::Runtime &r) { return r.name == build.runtime; });
            const bool loaded = std::any_of(files.begin(), files.end(), [&](const HostFile &file) {
                return std::any_of(file.check.runtime_dlls.begin(), file.check.runtime_dlls.end(),
                                   [&](const std::string &dll) { return runtime_of(dll, facts) == build.runtime; });
            });
            return std::make_pair(!loaded, runtime == facts.runtimes.end() || !runtime->everywhere);
        };
        verdict.build = *std::min_element(serve_all.begin(), serve_all.end(),
                                          [&](const HostFacts::Build &a, const HostFacts::Build &b) {
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
            for (const HostFacts::Build &build : file.check.builds) {
                presets.push_back(build.preset);
            }
            verdict.reasons.push_back(file.file + (presets.empty()       ? ": no build serves it"
                                                    : presets.size() == 1 ? " needs " + presets[0]
                                                                          : " needs one of " + join(presets)));
        }
    }
    return verdict;
}

}  // namespace

Verdict judge_process(const std::vector<HostFile> &files, const HostFacts &facts, DllCheck *dll)
{
    Verdict verdict = judge_files(files, facts);
    if (dll != nullptr && dll->error.empty()) {
        judge_dll(files, facts, verdict, *dll);
        const auto own = std::find_if(verdict.builds.begin(), verdict.builds.end(), [&](const HostFacts::Build &b) {
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

namespace {

std::string describe(const NameCheck &entry)
{
    return entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name;
}

// An image's C runtime, as its line says it.  Our DLL is told apart where
// its wording differs: a DLL that imports no C runtime may have none at all.
std::string text_runtime(const ImageCheck &check, const HostFacts &facts, bool our_dll)
{
    if (check.runtime == Runtime::ours) {
        return check.runtime_name + " (" + join(check.runtime_dlls) + ")";
    }
    if (check.runtime == Runtime::other) {
        return check.runtime_name + ", which no build of ours is on";
    }
    if (check.runtime == Runtime::linked) {
        return our_dll ? "none (it imports no C runtime DLL)" : "linked in statically (it imports no C runtime DLL)";
    }
    return our_dll ? "more than one (" + join(check.runtime_dlls) + ")" : "more than one: " + elsewhere(check, facts);
}

// An image's architecture and C runtime lines.
std::string text_image(const ImageCheck &check, const HostFacts &facts, bool our_dll)
{
    return "  architecture: " + (check.architecture.empty() ? std::string("none of ours") : check.architecture) +
           " (machine " + hex(check.machine) + ")\n  C runtime: " + text_runtime(check, facts, our_dll) + "\n";
}

std::string text_host(const HostFile &file, const HostFacts &facts)
{
    if (!file.error.empty()) {
        return file.file + "\n  error: " + file.error + "\n";
    }
    const HostCheck &check = file.check;
    std::string text = file.file + "\n" + text_image(check, facts, false);
    if (!check.frees_with.empty()) {
        std::vector<std::string> frees;
        for (const HeapImport &import : check.frees_with) {
            frees.push_back(import.function + " from " + import.dll);
        }
        text += "  frees with: " + join(frees) + "\n";
    }
    if (check.use == Use::none) {
        return text + "  uses " + facts.dll + ": no, it neither imports nor names it\n";
    }
    text += check.use == Use::imports
                ? "  imports from " + facts.dll + ":\n"
                : "  names " + facts.dll + " in its image: loads it at run time, probably with LoadLibrary\n"
                  "  names from its strings, not from an import table:\n";
    for (const NameCheck &entry : check.names) {
        text += "    " + describe(entry) + ": " +
                (entry.exported         ? "exported"
                 : entry.name.empty()   ? "by ordinal"
                 : entry.nearest.empty() ? "not exported"
                                         : "not exported; nearest " + entry.nearest) +
                (entry.delay_loaded ? ", delay-loaded" : "") + "\n";
    }
    std::vector<std::string> presets;
    for (const HostFacts::Build &build : check.builds) {
        presets.push_back(build.preset);
    }
    text += "  builds that serve it: " + (presets.empty() ? std::string("none") : join(presets)) + "\n";
    for (const std::string &note : check.notes) {
        text += "  note: " + note + "\n";
    }
    for (const std::string &reason : check.reasons) {
        text += "  why: " + reason + "\n";
    }
    return text;
}

std::string json_text(const std::string &text)
{
    return json_string(text.c_str());
}

std::string json_list(const std::vector<std::string> &items)
{
    std::string json;
    for (const std::string &item : items) {
        json += (json.empty() ? "" : ", ") + json_text(item);
    }
    return "[" + json + "]";
}

std::string json_bool(bool value)
{
    return value ? "true" : "false";
}

std::string json_or_null(bool present, const std::string &json)
{
    return present ? json : "null";
}

std::string json_binds(const std::vector<PeAssembly> &binds)
{
    std::vector<std::string> items;
    for (const PeAssembly &bound : binds) {
        items.push_back("{\"name\": " + json_text(bound.name) + ", \"version\": " + json_text(bound.version) +
                        ", \"architecture\": " + json_text(bound.architecture) + "}");
    }
    return "[" + join(items) + "]";
}

// An image's machine, architecture and C runtime, null where unknown.
std::string json_image(const ImageCheck &check, bool read)
{
    const bool named = check.runtime == Runtime::ours || check.runtime == Runtime::other;
    return "\"machine\": " + json_or_null(read, std::to_string(check.machine)) +
           ", \"architecture\": " + json_or_null(!check.architecture.empty(), json_text(check.architecture)) +
           ", \"c_runtime\": " + json_or_null(read && named, json_text(check.runtime_name));
}

std::string json_dll(const DllCheck &dll)
{
    const bool read = dll.error.empty();
    std::vector<std::string> exports;
    for (const PeExport &entry : dll.exports) {
        exports.push_back("{\"name\": " + json_or_null(!entry.name.empty(), json_text(entry.name)) +
                          ", \"ordinal\": " + std::to_string(entry.ordinal) + "}");
    }
    const auto text_or_null = [](const std::string &text) { return json_or_null(!text.empty(), json_text(text)); };
    return "{\"path\": " + json_text(dll.path) + ", \"beside\": " + json_bool(dll.beside) +
           ", \"error\": " + json_or_null(!read, json_text(dll.error)) + ", " + json_image(dll, read) +
           ", \"c_runtime_dlls\": " + json_list(dll.runtime_dlls) + ", \"exports\": [" + join(exports) +
           "], \"file_version\": " + text_or_null(dll.file_version) +
           ", \"product_version\": " + text_or_null(dll.product_version) +
           ", \"product_name\": " + text_or_null(dll.product_name) + ", \"manifest_binds\": " +
           json_binds(dll.binds) + ", \"ours\": " + json_or_null(read, json_bool(dll.ours)) +
           ", \"notes\": " + json_list(dll.notes) + ", \"reasons\": " + json_list(dll.reasons) +
           ", \"fits\": " + json_bool(read && dll.reasons.empty()) + "}";
}

std::string json_host(const HostFile &file)
{
    const bool read = file.error.empty();
    const HostCheck &check = file.check;
    std::vector<std::string> frees;
    for (const HeapImport &import : check.frees_with) {
        frees.push_back("{\"function\": " + json_text(import.function) + ", \"dll\": " + json_text(import.dll) + "}");
    }
    std::vector<std::string> names;
    for (const NameCheck &entry : check.names) {
        names.push_back("{\"name\": " + json_or_null(!entry.name.empty(), json_text(entry.name)) +
                        ", \"ordinal\": " + json_or_null(entry.name.empty(), std::to_string(entry.ordinal)) +
                        ", \"delay_loaded\": " + json_bool(entry.delay_loaded) +
                        ", \"from_strings\": " + json_bool(check.use == Use::strings) +
                        ", \"exported\": " + json_bool(entry.exported) +
                        ", \"nearest\": " + json_or_null(!entry.nearest.empty(), json_text(entry.nearest)) + "}");
    }
    std::vector<std::string> builds;
    for (const HostFacts::Build &build : check.builds) {
        builds.push_back(build.preset);
    }
    return "{\"file\": " + json_text(file.file) + ", \"error\": " + json_or_null(!read, json_text(file.error)) + ", " +
           json_image(check, read) +
           ", \"c_runtime_is_ours\": " + json_or_null(read, json_bool(check.runtime == Runtime::ours)) +
           ", \"c_runtime_is_static\": " + json_or_null(read, json_bool(check.runtime == Runtime::linked)) +
           ", \"c_runtime_dlls\": " + json_list(check.runtime_dlls) + ", \"frees_with\": [" + join(frees) +
           "], \"uses_our_dll\": " + json_or_null(read, json_bool(check.use != Use::none)) +
           ", \"loads_at_run_time\": " + json_or_null(read, json_bool(check.use == Use::strings)) + ", \"names\": [" + join(names) +
           "], \"builds\": " + json_list(builds) + ", \"manifest_binds\": " + json_binds(check.binds) +
           ", \"notes\": " + json_list(check.notes) +
           ", \"reasons\": " + json_list(check.reasons) + ", \"fits\": " + json_bool(read && check.reasons.empty()) +
           "}";
}

}  // namespace

namespace {

std::string text_dll(const std::vector<HostFile> &files, const DllCheck *dll, const HostFacts &facts)
{
    if (dll == nullptr) {
        return facts.dll + ": none checked: there is none beside " + (files.empty() ? "" : files[0].file) +
               ", and no --dll names one\n";
    }
    std::string text = facts.dll + ": " + dll->path +
                       (dll->beside ? " (beside " + (files.empty() ? "" : files[0].file) + ")" : "") + "\n";
    if (!dll->error.empty()) {
        return text + "  error: " + dll->error + "\n";
    }
    std::vector<std::string> exports;
    for (const PeExport &entry : dll->exports) {
        exports.push_back(entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name);
    }
    text += text_image(*dll, facts, true) + "  exports: " + (exports.empty() ? std::string("nothing") : join(exports)) +
            "\n  version: " + (dll->file_version.empty() ? std::string("none") : dll->file_version) +
            (dll->product_version.empty() ? "" : ", product version " + dll->product_version) +
            (dll->product_name.empty() ? "" : ", product name " + dll->product_name) + "\n";
    for (const PeAssembly &bound : dll->binds) {
        text += "  manifest binds: " + describe(bound) + "\n";
    }
    for (const std::string &note : dll->notes) {
        text += "  note: " + note + "\n";
    }
    for (const std::string &reason : dll->reasons) {
        text += "  why: " + reason + "\n";
    }
    return text;
}

}  // namespace

std::string text_process(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict,
                         const HostFacts &facts)
{
    std::string text;
    for (const HostFile &file : files) {
        text += text_host(file, facts) + "\n";
    }
    text += text_dll(files, dll, facts) + "\n";
    if (verdict.has_build) {
        text += "verdict: " + verdict.build.preset + " (" + verdict.build.zip + ") serves every file that uses " +
                facts.dll + "\n";
    } else if (verdict.reasons.empty()) {  // the files would fit, whatever the DLL
        text += "verdict: no file here uses " + facts.dll + "\n";
    } else if (std::any_of(files.begin(), files.end(), [](const HostFile &file) { return !file.error.empty(); })) {
        text += "verdict: none can be named, since not every file can be read\n";
    } else {
        text += "verdict: no single build serves every file that uses " + facts.dll + "\n";
    }
    for (const std::string &reason : verdict.reasons) {
        text += "  " + reason + "\n";
    }
    if (dll != nullptr) {
        const bool serves = dll->error.empty() && dll->reasons.empty();
        text += "  the " + facts.dll + " checked " +
                (serves ? verdict.has_build ? "is that build" : "is ours"
                 : !dll->error.empty() ? "cannot be read"
                                       : "will not serve them") +
                (verdict.instead.empty() ? "" : ": take " + verdict.instead + " instead") + "\n";
    }
    for (const std::string &note : verdict.notes) {
        text += "  note: " + note + "\n";
    }
    return text + "fits: " + (verdict.fits ? "yes" : "no") + "\n";
}

std::string json_process(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict)
{
    std::string json = "{\"files\": [";
    for (std::size_t i = 0; i < files.size(); ++i) {
        json += (i == 0 ? "\n  " : ",\n  ") + json_host(files[i]);
    }
    const HostFacts::Build &build = verdict.build;
    return json + "\n], \"dll\": " + (dll == nullptr ? "null" : json_dll(*dll)) +
           ",\n\"verdict\": {\"fits\": " + json_bool(verdict.fits) + ", \"build\": " +
           json_or_null(verdict.has_build, "{\"preset\": " + json_text(build.preset) + ", \"architecture\": " +
                                               json_text(build.architecture) + ", \"runtime\": " +
                                               json_text(build.runtime) + ", \"zip\": " + json_text(build.zip) + "}") +
           ", \"reasons\": " + json_list(verdict.reasons) +
           ", \"instead\": " + json_or_null(!verdict.instead.empty(), json_text(verdict.instead)) +
           ", \"notes\": " + json_list(verdict.notes) + "}}";
}

}  // namespace kivvm_tool
