// SPDX-License-Identifier: MIT
#include "host_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

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

// Edit distance, ignoring case.
std::size_t distance(const std::string &a, const std::string &b)
{
    const std::string x = lower(a);
    const std::string y = lower(b);
    std::vector<std::size_t> row(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
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

std::string describe(const ImportCheck &import)
{
    return import.name.empty() ? "ordinal " + std::to_string(import.ordinal) : import.name;
}

bool imports_function(const HostCheck &check, const char *name)
{
    return std::any_of(check.imports.begin(), check.imports.end(),
                       [name](const ImportCheck &import) { return import.exported && import.name == name; });
}

void find_runtime(const PeImage &image, const HostFacts &facts, HostCheck &check)
{
    for (const HostFacts::Runtime &runtime : facts.runtimes) {
        for (const PeModule &module : image.modules) {
            for (const std::string &pattern : runtime.dlls) {
                if (matches(module.dll, pattern)) {
                    check.runtime = runtime.name;
                    check.runtime_dll = module.dll;
                    check.runtime_is_ours = true;
                    return;
                }
            }
        }
    }
    // Another Visual C++ runtime: msvcr71.dll, msvcr90.dll, msvcr120.dll, a
    // debug one (msvcr80d.dll, ucrtbased.dll)...
    for (const PeModule &module : image.modules) {
        if (matches(module.dll, "msvcr*.dll") || matches(module.dll, "ucrtbase*.dll")) {
            check.runtime = lower(module.dll);
            check.runtime_dll = module.dll;
            return;
        }
    }
    check.runtime = "none";
}

}  // namespace

HostCheck check_host(const PeImage &image, const HostFacts &facts)
{
    HostCheck check;
    for (const HostFacts::Architecture &architecture : facts.architectures) {
        if (architecture.machine == image.machine) {
            check.architecture = architecture.name;
        }
    }
    const bool known_architecture = !check.architecture.empty();
    if (!known_architecture) {
        char machine[32];
        std::snprintf(machine, sizeof machine, "machine 0x%x", static_cast<unsigned>(image.machine));
        check.architecture = machine;
        std::string ours;
        for (const HostFacts::Architecture &architecture : facts.architectures) {
            ours += (ours.empty() ? "" : ", ") + architecture.name;
        }
        check.reasons.push_back("its architecture (" + check.architecture + ") is none we build a DLL for (" +
                                ours + ")");
    }
    find_runtime(image, facts, check);

    for (const PeModule &module : image.modules) {
        // Windows adds ".dll" to a name without an extension.
        if (lower(module.dll) != lower(facts.dll) && lower(module.dll) + ".dll" != lower(facts.dll)) {
            continue;
        }
        check.imports_library = true;
        for (const PeImport &import : module.imports) {
            ImportCheck entry{import.name, import.ordinal, module.delay_loaded, false, ""};
            if (import.name.empty()) {
                check.reasons.push_back("it imports ordinal " + std::to_string(import.ordinal) + " from " +
                                        facts.dll + ": ordinals are not part of the interface");
            } else if (std::find(facts.exports.begin(), facts.exports.end(), import.name) != facts.exports.end()) {
                entry.exported = true;
            } else {
                entry.nearest = nearest_export(import.name, facts.exports);
                check.reasons.push_back("it imports " + import.name + ", which " + facts.dll + " does not export" +
                                        (entry.nearest.empty() ? "" : " (nearest: " + entry.nearest + ")"));
            }
            check.imports.push_back(entry);
        }
    }
    if (!check.imports_library) {
        check.notes.push_back("it imports nothing from " + facts.dll +
                              ": if it loads it with LoadLibrary, the names it asks for cannot be checked here");
    }

    // The build on its runtime; on another runtime, any build of its
    // architecture, as long as it never releases a list with its own free().
    for (const HostFacts::Build &build : facts.builds) {
        if (build.architecture == check.architecture && (build.runtime == check.runtime || !check.runtime_is_ours)) {
            check.build = build;
            check.has_build = true;
            break;
        }
    }
    if (!check.has_build && known_architecture) {
        check.reasons.push_back("no build of ours is for " + check.architecture + " on " + check.runtime);
    }
    if (!check.has_build || check.runtime_is_ours) {
        return check;
    }
    const std::string elsewhere = "no build of ours is on its C runtime (" + check.runtime + ")";
    if (!check.imports_library) {
        check.has_build = false;
        check.reasons.push_back(elsewhere + ", and whether it releases the setup path list with "
                                "KIVVMFreeSetupPaths cannot be told from its imports");
    } else if (imports_function(check, "KIVVMFreeSetupPaths") || !imports_function(check, "KIVVMGetSetupPaths")) {
        check.notes.push_back(elsewhere + "; any " + check.architecture +
                              " build will do, since it releases the setup path list with "
                              "KIVVMFreeSetupPaths or never asks for one");
    } else {
        check.has_build = false;
        check.reasons.push_back(elsewhere + ", and it releases the setup path list without KIVVMFreeSetupPaths: "
                                "its own free() would corrupt its heap");
    }
    return check;
}

std::string text_host_check(const std::string &file, const HostCheck &check, const HostFacts &facts)
{
    std::string text = file + "\n  architecture: " + check.architecture + "\n  C runtime: " + check.runtime;
    if (!check.runtime_dll.empty() && check.runtime_dll != check.runtime) {
        text += " (" + check.runtime_dll + ")";
    }
    text += "\n  build: " + (check.has_build ? check.build.preset + " (" + check.build.zip + ")" : "none") + "\n";
    if (check.imports_library) {
        text += "  imports from " + facts.dll + ":\n";
        for (const ImportCheck &import : check.imports) {
            text += "    " + describe(import) + ": " +
                    (import.exported         ? "exported"
                     : import.name.empty()   ? "by ordinal"
                     : import.nearest.empty() ? "not exported"
                                              : "not exported; nearest " + import.nearest) +
                    (import.delay_loaded ? ", delay-loaded" : "") + "\n";
        }
    }
    for (const std::string &note : check.notes) {
        text += "  note: " + note + "\n";
    }
    text += std::string("  fits: ") + (check.reasons.empty() ? "yes" : "no") + "\n";
    for (const std::string &reason : check.reasons) {
        text += "  why: " + reason + "\n";
    }
    return text;
}

namespace {

std::string json_list(const std::vector<std::string> &items)
{
    std::string json = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        json += (i == 0 ? "" : ", ") + json_string(items[i].c_str());
    }
    return json + "]";
}

}  // namespace

std::string json_host_check(const std::string &file, const HostCheck &check)
{
    std::string json = "{\"file\": " + json_string(file.c_str()) +
                       ", \"architecture\": " + json_string(check.architecture.c_str()) +
                       ", \"runtime\": " + json_string(check.runtime.c_str()) + ", \"runtime_dll\": " +
                       (check.runtime_dll.empty() ? "null" : json_string(check.runtime_dll.c_str())) + ", \"build\": ";
    json += check.has_build ? "{\"preset\": " + json_string(check.build.preset.c_str()) +
                                  ", \"runtime\": " + json_string(check.build.runtime.c_str()) +
                                  ", \"zip\": " + json_string(check.build.zip.c_str()) + "}"
                            : "null";
    json += std::string(", \"names_checked\": ") + (check.imports_library ? "true" : "false") + ", \"imports\": [";
    for (std::size_t i = 0; i < check.imports.size(); ++i) {
        const ImportCheck &import = check.imports[i];
        json += (i == 0 ? "{" : ", {");
        json += "\"name\": " + (import.name.empty() ? "null" : json_string(import.name.c_str())) +
                ", \"ordinal\": " + (import.name.empty() ? std::to_string(import.ordinal) : "null") +
                ", \"delay_loaded\": " + (import.delay_loaded ? "true" : "false") +
                ", \"exported\": " + (import.exported ? "true" : "false") +
                ", \"nearest\": " + (import.nearest.empty() ? "null" : json_string(import.nearest.c_str())) + "}";
    }
    json += "], \"notes\": " + json_list(check.notes) + ", \"fits\": " + (check.reasons.empty() ? "true" : "false") +
            ", \"reasons\": " + json_list(check.reasons) + "}";
    return json;
}

std::string json_host_error(const std::string &file, const std::string &error)
{
    return "{\"file\": " + json_string(file.c_str()) + ", \"error\": " + json_string(error.c_str()) + "}";
}

}  // namespace kivvm_tool
