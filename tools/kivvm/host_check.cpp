// SPDX-License-Identifier: MIT
#include "host_check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <unordered_set>
#include <utility>

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

// Whether a DLL's name, as an import or a forwarder gives it, is name:
// in any case, with ".dll" or without (Windows adds it).
bool names_dll(const std::string &dll, const std::string &name)
{
    return lower(dll) == lower(name) || lower(dll) + ".dll" == lower(name);
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

// The export closest to name, if it is within a few edits: what "did you
// mean" offers, and what tells a misspelt name from a word of another use.
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

void add_once(std::vector<std::string> &items, const std::string &item)
{
    if (std::find(items.begin(), items.end(), item) == items.end()) {
        items.push_back(item);
    }
}

bool contains(const std::vector<std::string> &items, const std::string &item)
{
    return std::find(items.begin(), items.end(), item) != items.end();
}

// Functions through which a file frees memory on its C runtime's heap:
// the C functions and the debug heap's, and every operator delete and
// delete[] (plain, sized, nothrow, aligned) as Visual C++ and mingw-w64
// spell them.
bool frees(const std::string &function)
{
    static const std::vector<std::string> kFunctions = {"free", "realloc", "_recalloc", "_free_dbg", "_realloc_dbg"};
    static const std::vector<std::string> kDeletes = {"??3@", "??_V@", "_ZdlPv", "_ZdaPv"};
    return contains(kFunctions, function) || std::any_of(kDeletes.begin(), kDeletes.end(), [&](const std::string &d) {
               return function.compare(0, d.size(), d) == 0;
           });
}

// Functions that free memory of another kind: a block of the setup path
// list given to one of them corrupts a heap, whichever build serves.
bool frees_other_memory(const std::string &function)
{
    static const std::vector<std::string> kFunctions = {"HeapFree", "LocalFree", "GlobalFree", "CoTaskMemFree",
                                                        "_aligned_free"};
    return contains(kFunctions, function);
}

// mingw-w64's C++ library, whose operator delete frees on the C runtime
// it is built on, which is the one its users import.
bool is_cxx_library(const std::string &dll)
{
    return lower(dll) == "libstdc++-6.dll";
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

// An architecture by its name, or by its machine where it has none of ours.
std::string architecture_text(const std::string &architecture, std::uint16_t machine)
{
    return architecture.empty() ? "machine " + hex(machine) : architecture;
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
        add_once(freeing, import.heap);
    }
    if (freeing.size() != 1) {
        return freeing.empty() ? "it imports more than one C runtime (" + comma_list(check.runtime_dlls) + ")"
                               : "it frees with more than one runtime (" + comma_list(freeing) + ")";
    }
    // The C runtimes besides the one it frees with.
    std::vector<std::string> others;
    for (const std::string &dll : check.runtime_dlls) {
        if (runtime_of(dll, facts) != freeing[0]) {
            others.push_back(dll);
        }
    }
    return "it frees with " + freeing[0] + " while it imports " + comma_list(others) + " too";
}

// The image's architecture, its manifest's bindings, and the C runtime whose
// heap it frees on: from the DLLs it imports its heap functions from, and
// every C runtime DLL it imports.  The C++ library's delete frees on the
// one C runtime the file imports, where it imports one.
void platform_of(const PeImage &image, const BuildFacts &facts, Platform &check)
{
    check.machine = image.machine;
    check.architecture = architecture_of(image.machine, facts);
    check.binds = read_manifest(image.manifest);
    std::vector<std::string> runtimes;
    for (const PeModule &module : image.modules) {
        if (!runtime_of(module.dll, facts).empty()) {
            add_once(runtimes, runtime_of(module.dll, facts));
            add_once(check.runtime_dlls, module.dll);
        }
    }
    std::vector<std::string> heaps = runtimes;
    for (const PeModule &module : image.modules) {
        const std::string runtime = runtime_of(module.dll, facts);
        const std::string heap = !runtime.empty()                                      ? runtime
                                 : is_cxx_library(module.dll) && runtimes.size() == 1 ? runtimes[0]
                                                                                       : lower(module.dll);
        for (const PeImport &import : module.imports) {
            if (frees(import.name)) {
                check.frees_with.push_back({import.name, module.dll, heap});
                add_once(heaps, heap);
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

// A name checked against our exports; reasons for one we do not export.
NameCheck name_check(const PeImport &import, const BuildFacts &facts)
{
    NameCheck entry;
    entry.name = import.name;
    entry.ordinal = import.ordinal;
    entry.exported = contains(facts.exports, import.name);
    if (!entry.exported && !import.name.empty()) {
        entry.nearest = nearest_export(import.name, facts.exports);
    }
    return entry;
}

// How a file reaches a name: "it imports X", "it imports X through w.dll",
// "its strings name X".
std::string how(const NameCheck &entry)
{
    const std::string name = entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name;
    return entry.from_strings ? "its strings name " + name
                              : "it imports " + name + (entry.through.empty() ? "" : " through " + entry.through);
}

// Where an export forwards, if to our DLL: the function there ("#3" by
// ordinal).  A forwarder is "dll.function": the DLL's name is what comes
// before the last dot.
std::optional<PeImport> forwarded_to_us(const PeExport &entry, const BuildFacts &facts)
{
    const std::size_t dot = entry.forward.rfind('.');
    if (dot == std::string::npos || !names_dll(entry.forward.substr(0, dot), facts.dll)) {
        return std::nullopt;
    }
    const std::string function = entry.forward.substr(dot + 1);
    if (function.size() > 1 && function[0] == '#') {
        return PeImport{"", static_cast<std::uint16_t>(std::strtoul(function.c_str() + 1, nullptr, 10))};
    }
    return PeImport{function, 0};
}

// What a file imports from our DLL, directly or delay-loaded, and through
// the process's forwarders.
void read_imports(const PeImage &image, const std::vector<Forwarder> &forwarders, const BuildFacts &facts,
                  HostCheck &check)
{
    for (const PeModule &module : image.modules) {
        if (names_dll(module.dll, facts.dll)) {
            check.imports = true;
            for (const PeImport &import : module.imports) {
                check.names.push_back(name_check(import, facts));
                check.names.back().delay_loaded = module.delay_loaded;
            }
            if (module.unlisted) {
                check.notes.push_back("it delay-loads " + facts.dll + " through a descriptor among its data, which "
                                      "its delay-load directory does not list, as GNU ld writes them (dlltool -y)");
            }
            continue;
        }
        for (const Forwarder &forwarder : forwarders) {
            if (std::none_of(forwarder.names.begin(), forwarder.names.end(),
                             [&](const std::string &name) { return names_dll(module.dll, name); })) {
                continue;
            }
            for (const PeImport &import : module.imports) {
                const auto entry = std::find_if(forwarder.exports.begin(), forwarder.exports.end(),
                                                [&](const PeExport &e) {
                                                    return import.name.empty() ? e.ordinal == import.ordinal
                                                                               : e.name == import.name;
                                                });
                if (entry != forwarder.exports.end()) {
                    check.imports = true;
                    check.names.push_back(name_check(*forwarded_to_us(*entry, facts), facts));
                    check.names.back().delay_loaded = module.delay_loaded;
                    check.names.back().through = forwarder.file;
                }
            }
        }
    }
}

// The words of its strings that it may ask GetProcAddress for: not the
// names of its own imports and exports, which its tables hold.  A word
// within a few edits of an export is a misspelt one; one farther from every
// export is of some other use, told in a note.
void read_string_names(const PeImage &image, const PeStrings &strings, const BuildFacts &facts, HostCheck &check)
{
    std::unordered_set<std::string> tables;
    for (const PeModule &module : image.modules) {
        for (const PeImport &import : module.imports) {
            tables.insert(import.name);
        }
    }
    for (const PeExport &entry : image.exports) {
        tables.insert(entry.name);
    }
    std::vector<std::string> others;
    for (const std::string &word : strings.words) {
        if (tables.count(word) != 0) {
            continue;
        }
        NameCheck entry = name_check({word, 0}, facts);
        entry.from_strings = true;
        if (entry.exported || !entry.nearest.empty()) {
            check.names.push_back(entry);
        } else {
            others.push_back(word);
        }
    }
    if (!others.empty()) {
        check.notes.push_back("its strings hold " + comma_list(others) + ", no function of ours nor within three "
                              "edits of one: not taken for a name it asks GetProcAddress for");
    }
}

// Reasons for the names a file asks for, and for those it forwards.
void check_names(const BuildFacts &facts, HostCheck &check)
{
    for (const NameCheck &entry : check.names) {
        if (entry.name.empty()) {
            check.reasons.push_back(how(entry) + " from " + facts.dll + ": ordinals are not part of the interface");
        } else if (!entry.exported) {
            check.reasons.push_back(how(entry) + ", which " + facts.dll + " does not export" +
                                    (entry.nearest.empty() ? "" : " (nearest: " + entry.nearest + ")"));
        }
    }
    for (const NameCheck &entry : check.forwards) {
        const std::string to = entry.name.empty() ? "#" + std::to_string(entry.ordinal) : entry.name;
        if (entry.name.empty()) {
            check.reasons.push_back("it forwards " + entry.as + " to " + to + " of " + facts.dll +
                                    ": ordinals are not part of the interface");
        } else if (!entry.exported) {
            check.reasons.push_back("it forwards " + entry.as + " to " + to + ", which " + facts.dll +
                                    " does not export" + (entry.nearest.empty() ? "" : " (nearest: " + entry.nearest + ")"));
        }
    }
}

const NameCheck *find_name(const HostCheck &check, const char *name)
{
    const auto found = std::find_if(check.names.begin(), check.names.end(),
                                    [name](const NameCheck &entry) { return entry.exported && entry.name == name; });
    return found == check.names.end() ? nullptr : &*found;
}

// Why any build of its architecture serves a file that never frees the list
// with its own runtime: it releases it with KIVVMFreeSetupPaths, or never
// takes it.
std::string why_any_build(const HostCheck &check)
{
    if (const NameCheck *releases = find_name(check, "KIVVMFreeSetupPaths")) {
        return how(*releases);
    }
    const bool imported = std::any_of(check.names.begin(), check.names.end(),
                                      [](const NameCheck &entry) { return !entry.from_strings; });
    const bool named = std::any_of(check.names.begin(), check.names.end(),
                                   [](const NameCheck &entry) { return entry.from_strings; });
    return imported && named ? "neither its imports nor its strings name KIVVMGetSetupPaths"
           : imported        ? "it never imports KIVVMGetSetupPaths"
                             : "its strings never name KIVVMGetSetupPaths";
}

// The builds that serve a file that uses our DLL, or the reasons none does.
void find_builds(const BuildFacts &facts, HostCheck &check)
{
    std::vector<BuildFacts::Build> any;  // of its architecture
    std::copy_if(facts.builds.begin(), facts.builds.end(), std::back_inserter(any),
                 [&](const BuildFacts::Build &build) { return build.architecture == check.architecture; });
    const bool told = !check.names.empty();
    const NameCheck *asks = find_name(check, "KIVVMGetSetupPaths");
    const bool releases = find_name(check, "KIVVMFreeSetupPaths") != nullptr;
    const std::string own_heap = check.runtime == RuntimeKind::ours ? "" : check.own_heap + "; ";
    if (!told && !check.imports && !check.loads_at_run_time) {
        check.builds = any;
        check.notes.push_back("it only forwards to " + facts.dll + ": the files that import those functions from "
                              "it are judged for them");
        return;
    }
    if (!told) {
        check.notes.push_back("its strings name no function of ours: what it asks GetProcAddress for cannot be "
                              "checked");
    }
    if (told && (releases || asks == nullptr)) {
        check.builds = any;
        if (check.reasons.empty()) {
            check.notes.push_back(own_heap + "any " + check.architecture + " build will do, since " +
                                  why_any_build(check));
        }
    } else if (check.runtime == RuntimeKind::ours) {
        std::copy_if(any.begin(), any.end(), std::back_inserter(check.builds),
                     [&](const BuildFacts::Build &build) { return build.runtime == check.runtime_name; });
        if (check.builds.empty() && !check.architecture.empty()) {
            check.reasons.push_back("no build of ours is for " + check.architecture + " on " + check.runtime_name);
        }
    } else if (check.frees_with.empty() && check.runtime != RuntimeKind::linked) {
        check.builds = any;
        check.notes.push_back(own_heap + "it imports no function that frees memory on a C runtime's heap (free, "
                              "operator delete), so it cannot release the list on its own: any " +
                              check.architecture + " build will do");
    } else if (!told) {
        check.reasons.push_back(check.own_heap + ", and whether it releases the setup path list with "
                                "KIVVMFreeSetupPaths cannot be told from its strings");
    } else {
        check.reasons.push_back(check.own_heap + ", and " + how(*asks) +
                                " without KIVVMFreeSetupPaths: releasing the list with its own free() or delete[] "
                                "would corrupt a heap");
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

const BuildFacts::Runtime *find_runtime(const std::string &name, const BuildFacts &facts)
{
    const auto found = std::find_if(facts.runtimes.begin(), facts.runtimes.end(),
                                    [&](const BuildFacts::Runtime &runtime) { return runtime.name == name; });
    return found == facts.runtimes.end() ? nullptr : &*found;
}

// The assembly our build on a runtime binds, or null where it binds none.
const PeAssembly *assembly_of(const std::string &runtime, const BuildFacts &facts)
{
    const BuildFacts::Runtime *found = find_runtime(runtime, facts);
    return found == nullptr || found->assembly.name.empty() ? nullptr : &found->assembly;
}

// Our build of an architecture and runtime, or null.
const BuildFacts::Build *find_build(const std::string &architecture, const std::string &runtime,
                                    const BuildFacts &facts)
{
    const auto found = std::find_if(facts.builds.begin(), facts.builds.end(), [&](const BuildFacts::Build &build) {
        return build.architecture == architecture && build.runtime == runtime;
    });
    return found == facts.builds.end() ? nullptr : &*found;
}

// Who provides an assembly of a side-by-side runtime.
std::string provider(const PeAssembly &assembly)
{
    return lower(assembly.name) == "microsoft.vc80.crt" ? vc80_redistributable(assembly.version)
                                                        : "its redistributable";
}

// Whether the DLL exports a name, by name, as a function of its own.
bool exports_name(const DllCheck &dll, const std::string &name)
{
    return std::any_of(dll.exports.begin(), dll.exports.end(),
                       [&](const PeExport &entry) { return entry.name == name && entry.forward.empty(); });
}

// Why the DLL is not one of our builds, or none; a hard reason (a DLL that
// is plainly another's) ends its check.
bool proves_ours(const BuildFacts &facts, const std::vector<std::string> &needed, DllCheck &dll)
{
    std::vector<std::string> forwarded;
    for (const PeExport &entry : dll.exports) {
        if (!entry.forward.empty() && contains(needed, entry.name)) {
            forwarded.push_back(entry.name + " (to " + entry.forward + ")");
        }
    }
    const auto not_ours = [&](const std::string &why) {
        dll.reasons.push_back(why + ": it is not " + facts.product + "'s");
        return false;
    };
    if (!forwarded.empty()) {
        return not_ours("it forwards " + comma_list(forwarded) + ", and our builds forward nothing");
    }
    if (!dll.product_name.empty() && dll.product_name != facts.product) {
        return not_ours("its version resource names another product (" + dll.product_name + ")");
    }
    if (!exports_name(dll, "KIVVMInit")) {
        return not_ours("it exports no KIVVMInit");
    }
    if (!dll.version_resource || dll.product_name.empty()) {
        dll.reasons.push_back(std::string(dll.version_resource ? "its version resource names no product"
                                                               : "it has no version resource") +
                              ": nothing proves it is " + facts.product + "'s");
    } else if (dll.build_architecture.empty() || dll.build_runtime.empty()) {
        dll.reasons.push_back("its version resource does not name its build (Architecture and CRuntime), as every "
                              "build of ours does: nothing proves it is one of ours");
    } else if (dll.build_architecture != dll.architecture) {
        dll.reasons.push_back("its version resource says it is for " + dll.build_architecture + ", and it is for " +
                              architecture_text(dll.architecture, dll.machine) + ": it is not the build it says");
    } else if (dll.build_runtime != dll.runtime_name) {
        dll.reasons.push_back("its version resource says it is on " + dll.build_runtime + ", and it imports " +
                              (dll.runtime_dlls.empty() ? std::string("no C runtime DLL")
                                                        : comma_list(dll.runtime_dlls)) +
                              ": it is not the build it says");
    } else if (dll.runtime != RuntimeKind::ours) {
        dll.reasons.push_back("its version resource names a C runtime we build no DLL for (" + dll.build_runtime +
                              "): it is not one of ours");
    } else {
        dll.ours = true;
    }
    return true;
}

// The VC80 runtime an msvcr80 build binds: the assembly our builds bind,
// for its architecture, with Microsoft's key; and where its manifest lies.
void check_binding(const BuildFacts &facts, DllCheck &dll)
{
    if (!dll.manifest_name.empty() && dll.manifest_name != "2") {
        dll.notes.push_back("its manifest is resource ID " + dll.manifest_name + ", and Windows documents ID 2 for a "
                            "DLL's own dependencies (ISOLATIONAWARE_MANIFEST_RESOURCE_ID): it may bind nothing");
    }
    const PeAssembly *assembly = assembly_of(dll.runtime_name, facts);
    if (dll.runtime != RuntimeKind::ours || assembly == nullptr) {
        return;
    }
    const auto bound = std::find_if(dll.binds.begin(), dll.binds.end(), [&](const PeAssembly &binding) {
        return lower(binding.name) == lower(assembly->name);
    });
    const std::string wont = ": Windows will not find that runtime, and the DLL does not load";
    if (bound == dll.binds.end()) {
        dll.reasons.push_back("it imports " + comma_list(dll.runtime_dlls) + " but its manifest binds no " +
                              assembly->name + wont);
        return;
    }
    const auto architecture = std::find_if(facts.architectures.begin(), facts.architectures.end(),
                                           [&](const BuildFacts::Architecture &a) { return a.name == dll.architecture; });
    const std::string expected = architecture == facts.architectures.end() ? "" : architecture->assembly;
    const std::string binds = "its manifest binds " + bound->name;
    if (bound->version != assembly->version) {
        dll.reasons.push_back(binds + " " + bound->version + ", and our builds bind " + assembly->version);
    }
    if (lower(bound->architecture) != expected) {
        dll.reasons.push_back(binds + " for processorArchitecture \"" + bound->architecture + "\", and a DLL for " +
                              architecture_text(dll.architecture, dll.machine) + " needs \"" + expected + "\"" + wont);
    }
    if (lower(bound->public_key_token) != lower(assembly->public_key_token)) {
        dll.reasons.push_back(binds + " with publicKeyToken \"" + bound->public_key_token + "\", not \"" +
                              assembly->public_key_token + "\"" + wont);
    }
}

// What is wrong with the DLL for these files, and what to know of it.
void judge_dll(const std::vector<HostFile> &files, const BuildFacts &facts, const Verdict &verdict, DllCheck &dll)
{
    // What the files that use it ask it for.
    std::vector<std::string> needed = {"KIVVMInit"};
    const HostFile *user = nullptr;
    for (const HostFile &file : files) {
        if (!file.error.empty() || !file.check.uses()) {
            continue;
        }
        user = user == nullptr ? &file : user;
        for (const std::vector<NameCheck> *names : {&file.check.names, &file.check.forwards}) {
            for (const NameCheck &entry : *names) {
                if (entry.exported) {
                    add_once(needed, entry.name);
                }
            }
        }
    }
    if (!proves_ours(facts, needed, dll)) {
        return;
    }
    const bool versioned = !dll.file_version.empty();
    if (versioned && major_of(dll.file_version) != major_of(facts.version)) {
        dll.reasons.push_back("it is version " + dll.file_version + " and this kivvm " + facts.version +
                              ": another major version is another interface");
    } else if (versioned && numbers(dll.file_version) != numbers(facts.version)) {
        const bool newer = numbers(dll.file_version) > numbers(facts.version);
        dll.notes.push_back("it is version " + dll.file_version + " and this kivvm " + facts.version +
                            (newer ? ": a newer one of the same major version serves every host of an older one"
                                   : ": an older one may lack functions, which its export table shows"));
    } else if (!versioned && dll.version_resource) {
        dll.notes.push_back("it has no version in its version resource's fixed part: which version it is cannot be "
                            "told");
    }
    for (const HostFile &file : files) {
        if (!file.error.empty() || !file.check.uses()) {
            continue;
        }
        for (const NameCheck &entry : file.check.names) {
            if (entry.exported && !exports_name(dll, entry.name)) {
                dll.reasons.push_back(file.file + (entry.from_strings ? "'s strings name " : " imports ") +
                                      entry.name + ", which this DLL does not export");
            }
        }
        for (const NameCheck &entry : file.check.forwards) {
            if (entry.exported && !exports_name(dll, entry.name)) {
                dll.reasons.push_back(file.file + " forwards " + entry.as + " to " + entry.name +
                                      ", which this DLL does not export");
            }
        }
    }
    if (user != nullptr && user->check.machine != dll.machine) {
        dll.reasons.push_back("it is for " + architecture_text(dll.architecture, dll.machine) + " and " + user->file +
                              " for " + architecture_text(user->check.architecture, user->check.machine) +
                              ": Windows will not load it");
        return;
    }
    std::vector<std::string> needs;
    for (const BuildFacts::Build &build : verdict.builds) {
        if (build.architecture == dll.architecture) {
            add_once(needs, build.runtime);
        }
    }
    if (!needs.empty() && (dll.runtime != RuntimeKind::ours || !contains(needs, dll.runtime_name))) {
        dll.reasons.push_back(
            (dll.runtime == RuntimeKind::ours ? "it is the build on " + dll.runtime_name
             : dll.runtime == RuntimeKind::linked ? std::string("it imports no C runtime DLL")
                                                   : "it imports " + comma_list(dll.runtime_dlls)) +
            ", and these files need the one on " + comma_list(needs));
    }
    check_binding(facts, dll);
}

// What the files cannot show: the side-by-side runtime the DLL binds (the
// one checked where it serves, else the build named) must be installed, at
// the version it binds, whatever older one a host binds.
void side_by_side(const ProcessCheck &process, const BuildFacts &facts, Verdict &verdict)
{
    PeAssembly binding;
    const DllCheck *dll = process.dll ? &*process.dll : nullptr;
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
    for (const HostFile &file : process.files) {
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

// The process alone: the builds that serve every file, the one named, and
// what is wrong with the files.  refused says that something is.
Verdict judge_files(const ProcessCheck &process, const BuildFacts &facts, bool &refused)
{
    Verdict verdict;
    const std::vector<HostFile> &files = process.files;
    // One process loads files of one machine: the program's.
    const auto program = std::find_if(files.begin(), files.end(), [&](const HostFile &file) {
        return file.error.empty() && (file.file == process.program || process.program.empty());
    });
    for (const HostFile &file : files) {
        if (program != files.end() && file.error.empty() && file.check.machine != program->check.machine) {
            verdict.reasons.push_back(program->file + " is for " +
                                      architecture_text(program->check.architecture, program->check.machine) +
                                      " and " + file.file + " for " +
                                      architecture_text(file.check.architecture, file.check.machine) +
                                      ": one process cannot load both");
            refused = true;
        }
    }
    std::vector<BuildFacts::Build> serve_all = facts.builds;
    bool used = false;
    for (const HostFile &file : files) {
        if (file.error.empty() && file.check.uses()) {
            used = true;
            const auto serves = [&](const BuildFacts::Build &build) {
                return std::none_of(file.check.builds.begin(), file.check.builds.end(),
                                    [&](const BuildFacts::Build &b) { return b.preset == build.preset; });
            };
            serve_all.erase(std::remove_if(serve_all.begin(), serve_all.end(), serves), serve_all.end());
        }
    }
    const bool unknown = std::any_of(files.begin(), files.end(), [](const HostFile &file) { return !file.error.empty(); });
    if (used && !serve_all.empty() && !unknown) {
        verdict.builds = serve_all;
        // A runtime the process loads already, then one every Windows has.
        const auto rank = [&](const BuildFacts::Build &build) {
            const BuildFacts::Runtime *runtime = find_runtime(build.runtime, facts);
            const bool loaded = std::any_of(files.begin(), files.end(), [&](const HostFile &file) {
                return std::any_of(file.check.runtime_dlls.begin(), file.check.runtime_dlls.end(),
                                   [&](const std::string &dll) { return runtime_of(dll, facts) == build.runtime; });
            });
            return std::make_pair(!loaded, runtime == nullptr || !runtime->everywhere);
        };
        verdict.build = *std::min_element(serve_all.begin(), serve_all.end(),
                                          [&](const BuildFacts::Build &a, const BuildFacts::Build &b) {
                                              return rank(a) < rank(b);
                                          });
        verdict.has_build = true;
    }
    for (const HostFile &file : files) {
        if (!file.error.empty()) {
            verdict.reasons.push_back(file.file + ": it cannot be read, so whether it uses " + facts.dll +
                                      " is unknown");
        } else if (used && (serve_all.empty() || unknown) && file.check.uses()) {
            std::vector<std::string> builds;
            std::transform(file.check.builds.begin(), file.check.builds.end(), std::back_inserter(builds), build_text);
            verdict.reasons.push_back(file.file + (builds.empty()       ? ": no build serves it"
                                                   : builds.size() == 1 ? " needs " + builds[0]
                                                                        : " needs one of " + comma_list(builds)));
            refused = refused || serve_all.empty();
        }
    }
    if (!used && !unknown) {
        verdict.reasons.push_back("no FILE imports " + facts.dll + " (directly, delay-loaded, or through a FILE "
                                  "that forwards to it), forwards to it, or names it in its strings (in any case, "
                                  "with or without .dll, in ASCII or UTF-16LE)");
    }
    return verdict;
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

std::string assembly_text(const PeAssembly &assembly)
{
    return assembly.name + " " + assembly.version + (assembly.architecture.empty() ? "" : " " + assembly.architecture);
}

std::string build_text(const BuildFacts::Build &build)
{
    return build.preset + " (" + build.zip + ")";
}

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

std::optional<Forwarder> forwarder_of(const std::string &file, const PeImage &image, const BuildFacts &facts)
{
    Forwarder forwarder;
    forwarder.file = file;
    const std::size_t slash = file.find_last_of("/\\");
    forwarder.names = {file.substr(slash == std::string::npos ? 0 : slash + 1)};
    if (!image.export_name.empty()) {
        forwarder.names.push_back(image.export_name);
    }
    std::copy_if(image.exports.begin(), image.exports.end(), std::back_inserter(forwarder.exports),
                 [&](const PeExport &entry) { return forwarded_to_us(entry, facts).has_value(); });
    return forwarder.exports.empty() ? std::nullopt : std::optional<Forwarder>(forwarder);
}

DllCheck check_dll(const std::string &path, const PeImage &image, const BuildFacts &facts)
{
    DllCheck dll;
    dll.path = path;
    platform_of(image, facts, dll);
    dll.exports = image.exports;
    dll.manifest_name = image.manifest.empty() ? "" : image.manifest_name;
    dll.version_resource = !image.version.empty();
    const PeVersion version = read_version(image.version);
    dll.file_version = version.file_version;
    dll.product_version = version.product_version;
    const auto string = [&](const char *key) {
        const auto found = std::find_if(version.strings.begin(), version.strings.end(),
                                        [key](const auto &entry) { return entry.first == key; });
        return found != version.strings.end() ? found->second : "";
    };
    dll.product_name = string("ProductName");
    dll.build_architecture = string("Architecture");
    dll.build_runtime = string("CRuntime");
    return dll;
}

HostCheck check_host(const PeImage &image, const PeStrings &strings, const std::vector<Forwarder> &forwarders,
                     const BuildFacts &facts)
{
    HostCheck check;
    platform_of(image, facts, check);
    check.program = !image.dll;
    if (!image.export_name.empty() && names_dll(image.export_name, facts.dll)) {
        check.is_our_dll = true;
        check.notes.push_back("its export directory names it " + image.export_name + ": it is a " + facts.dll +
                              ", not a file that uses one");
        return check;
    }
    read_imports(image, forwarders, facts, check);
    for (const PeExport &entry : image.exports) {
        if (const std::optional<PeImport> to = forwarded_to_us(entry, facts)) {
            NameCheck forward = name_check(*to, facts);
            forward.as = entry.name.empty() ? "#" + std::to_string(entry.ordinal) : entry.name;
            check.forwards.push_back(forward);
        }
    }
    check.loads_at_run_time = strings.names_dll && !check.imports;
    if (check.imports || check.loads_at_run_time) {
        read_string_names(image, strings, facts, check);
    }
    if (!check.uses()) {
        return check;
    }
    for (const HeapImport &import : check.frees_with) {
        if (is_cxx_library(import.dll)) {
            check.notes.push_back("it frees with " + import.function + " from " + import.dll +
                                  ", which frees on the C runtime it imports (mingw-w64's C++ library is built on it)");
            break;
        }
    }
    if (find_name(check, "KIVVMGetSetupPaths") != nullptr) {
        std::vector<std::string> others;
        for (const PeModule &module : image.modules) {
            for (const PeImport &import : module.imports) {
                if (frees_other_memory(import.name)) {
                    others.push_back(import.name + " from " + module.dll);
                }
            }
        }
        if (!others.empty()) {
            check.notes.push_back("it imports " + comma_list(others) + ": releasing the setup path list with " +
                                  (others.size() == 1 ? "it" : "one of them") +
                                  " would corrupt the heap beside any build; only KIVVMFreeSetupPaths, or the "
                                  "free() of the build's C runtime, releases it");
        }
    }
    if (check.architecture.empty()) {
        std::vector<std::string> ours;
        for (const BuildFacts::Architecture &architecture : facts.architectures) {
            ours.push_back(architecture.name);
        }
        check.reasons.push_back("its architecture (machine " + hex(image.machine) + ") is none we build a DLL for (" +
                                comma_list(ours) + ")");
    }
    check_names(facts, check);
    find_builds(facts, check);
    if (!check.reasons.empty()) {
        check.builds.clear();
    }
    return check;
}

void judge_process(ProcessCheck &process, const BuildFacts &facts)
{
    bool refused = false;
    Verdict &verdict = process.verdict = judge_files(process, facts, refused);
    const bool unknown = std::any_of(process.files.begin(), process.files.end(),
                                     [](const HostFile &file) { return !file.error.empty(); });
    const bool used = std::any_of(process.files.begin(), process.files.end(),
                                  [](const HostFile &file) { return file.error.empty() && file.check.uses(); });
    DllCheck *dll = process.dll ? &*process.dll : nullptr;
    bool proven = !unknown && used && dll != nullptr && dll->error.empty();
    if (dll == nullptr && !refused) {
        verdict.reasons.push_back(
            process.program.empty()
                ? "no FILE is a program, so which " + facts.dll + " will load cannot be told: name the program among "
                  "the FILEs, or the DLL with --dll"
                : "no " + facts.dll + " was checked: put " +
                      (verdict.has_build ? "the one from " + verdict.build.zip : "one of ours") + " beside " +
                      process.program + ", or name one with --dll");
    }
    if (dll != nullptr && dll->error.empty()) {
        judge_dll(process.files, facts, verdict, *dll);
        refused = refused || !dll->reasons.empty();
        const BuildFacts::Build *own = find_build(dll->architecture, dll->runtime_name, facts);
        const bool serves = own != nullptr && std::any_of(verdict.builds.begin(), verdict.builds.end(),
                                                          [&](const BuildFacts::Build &b) { return b.preset == own->preset; });
        if (dll->ours && dll->reasons.empty() && serves) {
            verdict.build = *own;
        }
        proven = proven && dll->ours;
    }
    if (dll != nullptr && (!dll->error.empty() || !dll->reasons.empty())) {
        verdict.instead = verdict.has_build ? verdict.build.zip : "";
    }
    verdict.fits = refused ? Fits::no : proven ? Fits::yes : Fits::cannot_tell;
    side_by_side(process, facts, verdict);
}

}  // namespace kivvm_tool
