// SPDX-License-Identifier: MIT
#include "host_check_output.h"

#include <algorithm>

#include "json.h"

namespace kivvm_tool {
namespace {

// ---- Text ------------------------------------------------------------------

std::string name_text(const NameCheck &entry)
{
    return (entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name) + ": " +
           (entry.exported          ? "exported"
            : entry.name.empty()    ? "by ordinal"
            : entry.nearest.empty() ? "not exported"
                                    : "not exported; nearest " + entry.nearest) +
           (entry.delay_loaded ? ", delay-loaded" : "") + (entry.through.empty() ? "" : ", through " + entry.through);
}

// An image's C runtime, as its line says it.  Our DLL is told apart where
// its wording differs: a DLL that imports no C runtime may have none at all.
std::string runtime_text(const Platform &check, bool our_dll)
{
    if (check.runtime == RuntimeKind::ours) {
        return check.runtime_name + " (" + comma_list(check.runtime_dlls) + ")";
    }
    if (check.runtime == RuntimeKind::other) {
        return check.runtime_name + ", which no build of ours is on";
    }
    if (check.runtime == RuntimeKind::linked) {
        return our_dll ? "none (it imports no C runtime DLL)" : "linked in statically (it imports no C runtime DLL)";
    }
    return our_dll ? "more than one (" + comma_list(check.runtime_dlls) + ")" : "more than one: " + check.own_heap;
}

// An image's architecture and C runtime lines.
std::string platform_text(const Platform &check, bool our_dll)
{
    return "  architecture: " + (check.architecture.empty() ? std::string("none of ours") : check.architecture) +
           " (machine " + hex(check.machine) + ")\n  C runtime: " + runtime_text(check, our_dll) + "\n";
}

std::string lines(const char *start, const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items) {
        text += start + item + "\n";
    }
    return text;
}

std::string file_text(const HostFile &file, const BuildFacts &facts)
{
    if (!file.error.empty()) {
        return file.file + "\n  error: " + file.error + "\n";
    }
    const HostCheck &check = file.check;
    std::string text = file.file + "\n" + platform_text(check, false);
    if (!check.frees_with.empty()) {
        std::vector<std::string> frees;
        for (const HeapImport &import : check.frees_with) {
            frees.push_back(import.function + " from " + import.dll);
        }
        text += "  frees with: " + comma_list(frees) + "\n";
    }
    if (!check.uses()) {
        return text + "  uses " + facts.dll + ": no, " +
               (check.is_our_dll ? "it is one" : "it neither imports nor names it") + "\n" +
               lines("  note: ", check.notes);
    }
    std::string imported;
    std::string named;
    for (const NameCheck &entry : check.names) {
        (entry.from_strings ? named : imported) += "    " + name_text(entry) + "\n";
    }
    if (check.imports) {
        text += "  imports from " + facts.dll + ":\n" + imported;
    }
    if (check.loads_at_run_time) {
        text += "  names " + facts.dll + " in its image: loads it at run time, probably with LoadLibrary\n";
    }
    if (!named.empty() || (check.loads_at_run_time && check.names.empty())) {
        text += "  names from its strings, not from an import table:\n" + named;
    }
    if (!check.forwards.empty()) {
        text += "  forwards to " + facts.dll + ":\n";
        for (const NameCheck &entry : check.forwards) {
            text += "    " + entry.as + " as " + name_text(entry) + "\n";
        }
    }
    std::vector<std::string> presets;
    for (const BuildFacts::Build &build : check.builds) {
        presets.push_back(build.preset);
    }
    return text + "  builds that serve it: " + (presets.empty() ? std::string("none") : comma_list(presets)) + "\n" +
           lines("  note: ", check.notes) + lines("  why: ", check.reasons);
}

std::string dll_text(const ProcessCheck &process, const BuildFacts &facts)
{
    if (!process.dll) {
        return facts.dll + ": none checked: " +
               (process.program.empty() ? std::string("no FILE is a program")
                                        : "there is none beside " + process.program) +
               ", and no --dll names one\n";
    }
    const DllCheck &dll = *process.dll;
    std::string text = facts.dll + ": " + dll.path + (process.dll_named ? "" : " (beside " + process.program + ")") + "\n";
    if (!dll.error.empty()) {
        return text + "  error: " + dll.error + "\n";
    }
    std::vector<std::string> exports;
    for (const PeExport &entry : dll.exports) {
        exports.push_back((entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name) +
                          (entry.forward.empty() ? "" : " (forwarded to " + entry.forward + ")"));
    }
    text += platform_text(dll, true) + "  exports: " + (exports.empty() ? std::string("nothing") : comma_list(exports)) +
            "\n  version: " + (dll.file_version.empty() ? std::string("none") : dll.file_version) +
            (dll.product_version.empty() ? "" : ", product version " + dll.product_version) +
            (dll.product_name.empty() ? "" : ", product name " + dll.product_name) + "\n";
    if (!dll.build_architecture.empty() || !dll.build_runtime.empty()) {
        text += "  built for: " + dll.build_architecture + " on " + dll.build_runtime + " (its version resource)\n";
    }
    for (const PeAssembly &bound : dll.binds) {
        text += "  manifest binds: " + assembly_text(bound) + "\n";
    }
    return text + lines("  note: ", dll.notes) + lines("  why: ", dll.reasons);
}

// What the verdict says of the DLL checked: that it is the build named, or
// which build it is and who cannot use it, or why it will not do.
std::string checked_text(const ProcessCheck &process, const BuildFacts &facts)
{
    const DllCheck &dll = *process.dll;
    const Verdict &verdict = process.verdict;
    std::string said;
    if (!dll.error.empty()) {
        said = "cannot be read";
    } else if (!dll.reasons.empty()) {
        said = "will not serve them";
    } else if (verdict.fits == Fits::yes) {
        said = "is that build";
    } else {
        const auto own = std::find_if(facts.builds.begin(), facts.builds.end(), [&](const BuildFacts::Build &build) {
            return build.architecture == dll.architecture && build.runtime == dll.runtime_name;
        });
        std::vector<std::string> lacking;  // the files that use it, and cannot use that build
        for (const HostFile &file : process.files) {
            const auto serves = [&](const BuildFacts::Build &build) {
                return own != facts.builds.end() && build.preset == own->preset;
            };
            if (file.error.empty() && file.check.uses() &&
                std::none_of(file.check.builds.begin(), file.check.builds.end(), serves)) {
                lacking.push_back(file.file);
            }
        }
        said = "is " + (own == facts.builds.end() ? std::string("ours") : build_text(*own)) +
               (lacking.empty() ? "" : ", which " + comma_list(lacking) + " cannot use");
    }
    return "  the " + facts.dll + " checked " + said +
           (verdict.instead.empty() ? "" : ": take " + verdict.instead + " instead") + "\n";
}

std::string verdict_text(const ProcessCheck &process, const BuildFacts &facts)
{
    const Verdict &verdict = process.verdict;
    const std::vector<HostFile> &files = process.files;
    std::string text;
    if (verdict.has_build) {
        text = "verdict: " + build_text(verdict.build) + " serves every file that uses " + facts.dll + "\n";
    } else if (std::any_of(files.begin(), files.end(), [](const HostFile &file) { return !file.error.empty(); })) {
        text = "verdict: none can be named, since not every file can be read\n";
    } else if (std::none_of(files.begin(), files.end(), [](const HostFile &file) { return file.check.uses(); })) {
        text = "verdict: no file here uses " + facts.dll + "\n";
    } else {
        text = "verdict: no single build serves every file that uses " + facts.dll + "\n";
    }
    text += lines("  ", verdict.reasons) + (process.dll ? checked_text(process, facts) : "") +
            lines("  note: ", verdict.notes);
    return text + "fits: " +
           (verdict.fits == Fits::yes ? "yes" : verdict.fits == Fits::no ? "no" : "cannot tell") + "\n";
}

// ---- JSON ------------------------------------------------------------------

void json_binds(JsonWriter &json, const std::vector<PeAssembly> &binds)
{
    json.begin_array();
    for (const PeAssembly &bound : binds) {
        json.begin_object().key("name").string(bound.name).key("version").string(bound.version);
        json.key("architecture").string(bound.architecture);
        json.key("public_key_token").string(bound.public_key_token).end_object();
    }
    json.end_array();
}

// An image's machine, architecture and C runtime, null where unknown.
void json_platform(JsonWriter &json, const Platform &check, bool read)
{
    const bool named = check.runtime == RuntimeKind::ours || check.runtime == RuntimeKind::other;
    json.key("machine");
    read ? json.number(check.machine) : json.null();
    json.key("architecture").string_or_null(check.architecture);
    json.key("c_runtime").string_or_null(read && named ? check.runtime_name : "");
}

// A boolean, or null for a file that cannot be read.
void json_fact(JsonWriter &json, const char *key, bool read, bool value)
{
    json.key(key);
    read ? json.boolean(value) : json.null();
}

// A name's own facts: by name or by ordinal, exported, and the nearest
// export.
void json_name(JsonWriter &json, const NameCheck &entry)
{
    json.key("name").string_or_null(entry.name).key("ordinal");
    entry.name.empty() ? json.number(entry.ordinal) : json.null();
}

void json_dll(JsonWriter &json, const ProcessCheck &process)
{
    const DllCheck &dll = *process.dll;
    const bool read = dll.error.empty();
    json.begin_object().key("path").string(dll.path).key("beside").boolean(!process.dll_named);
    json.key("error").string_or_null(dll.error);
    json_platform(json, dll, read);
    json.key("c_runtime_dlls").strings(dll.runtime_dlls).key("exports").begin_array();
    for (const PeExport &entry : dll.exports) {
        json.begin_object().key("name").string_or_null(entry.name);
        json.key("ordinal").number(static_cast<long long>(entry.ordinal)).key("forward").string_or_null(entry.forward);
        json.end_object();
    }
    json.end_array().key("file_version").string_or_null(dll.file_version);
    json.key("product_version").string_or_null(dll.product_version);
    json.key("product_name").string_or_null(dll.product_name);
    json.key("build_architecture").string_or_null(dll.build_architecture);
    json.key("build_runtime").string_or_null(dll.build_runtime);
    json.key("manifest_id").string_or_null(dll.manifest_name).key("manifest_binds");
    json_binds(json, dll.binds);
    json_fact(json, "ours", read, dll.ours);
    json.key("notes").strings(dll.notes).key("reasons").strings(dll.reasons);
    json.key("fits").boolean(read && dll.reasons.empty()).end_object();
}

void json_file(JsonWriter &json, const HostFile &file)
{
    const bool read = file.error.empty();
    const HostCheck &check = file.check;
    json.begin_object().key("file").string(file.file).key("error").string_or_null(file.error);
    json_fact(json, "program", read, check.program);
    json_platform(json, check, read);
    json_fact(json, "c_runtime_is_ours", read, check.runtime == RuntimeKind::ours);
    json_fact(json, "c_runtime_is_static", read, check.runtime == RuntimeKind::linked);
    json.key("c_runtime_dlls").strings(check.runtime_dlls).key("frees_with").begin_array();
    for (const HeapImport &import : check.frees_with) {
        json.begin_object().key("function").string(import.function).key("dll").string(import.dll).end_object();
    }
    json.end_array();
    json_fact(json, "uses_our_dll", read, check.uses());
    json_fact(json, "loads_at_run_time", read, check.loads_at_run_time);
    json.key("names").begin_array();
    for (const NameCheck &entry : check.names) {
        json.begin_object();
        json_name(json, entry);
        json.key("delay_loaded").boolean(entry.delay_loaded).key("from_strings").boolean(entry.from_strings);
        json.key("through").string_or_null(entry.through).key("exported").boolean(entry.exported);
        json.key("nearest").string_or_null(entry.nearest).end_object();
    }
    json.end_array().key("forwards").begin_array();
    for (const NameCheck &entry : check.forwards) {
        json.begin_object().key("export").string(entry.as);
        json_name(json, entry);
        json.key("exported").boolean(entry.exported).key("nearest").string_or_null(entry.nearest).end_object();
    }
    std::vector<std::string> builds;
    for (const BuildFacts::Build &build : check.builds) {
        builds.push_back(build.preset);
    }
    json.end_array().key("builds").strings(builds).key("manifest_binds");
    json_binds(json, check.binds);
    json.key("notes").strings(check.notes).key("reasons").strings(check.reasons);
    json.key("fits").boolean(read && check.reasons.empty()).end_object();
}

}  // namespace

std::string check_host_text(const ProcessCheck &process, const BuildFacts &facts)
{
    std::string text;
    for (const HostFile &file : process.files) {
        text += file_text(file, facts) + "\n";
    }
    return text + dll_text(process, facts) + "\n" + verdict_text(process, facts);
}

std::string check_host_json(const ProcessCheck &process)
{
    JsonWriter json;
    json.begin_object().key("files").begin_array(JsonWriter::Layout::lines);
    for (const HostFile &file : process.files) {
        json_file(json, file);
    }
    json.end_array().key("program").string_or_null(process.program).key("dll");
    if (process.dll) {
        json_dll(json, process);
    } else {
        json.null();
    }
    const Verdict &verdict = process.verdict;
    json.key("verdict").begin_object().key("fits");
    verdict.fits == Fits::cannot_tell ? json.null() : json.boolean(verdict.fits == Fits::yes);
    json.key("build");
    if (verdict.has_build) {
        const BuildFacts::Build &build = verdict.build;
        json.begin_object().key("preset").string(build.preset).key("architecture").string(build.architecture);
        json.key("runtime").string(build.runtime).key("zip").string(build.zip).end_object();
    } else {
        json.null();
    }
    json.key("reasons").strings(verdict.reasons).key("instead").string_or_null(verdict.instead);
    return json.key("notes").strings(verdict.notes).end_object().end_object().text();
}

}  // namespace kivvm_tool
