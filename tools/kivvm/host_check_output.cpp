// SPDX-License-Identifier: MIT
#include "host_check_output.h"

#include <algorithm>

#include "json.h"

namespace kivvm_tool {

namespace {

std::string describe(const NameCheck &entry)
{
    return entry.name.empty() ? "ordinal " + std::to_string(entry.ordinal) : entry.name;
}

// An image's C runtime, as its line says it.  Our DLL is told apart where
// its wording differs: a DLL that imports no C runtime may have none at all.
std::string text_runtime(const Platform &check, bool our_dll)
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
std::string text_image(const Platform &check, bool our_dll)
{
    return "  architecture: " + (check.architecture.empty() ? std::string("none of ours") : check.architecture) +
           " (machine " + hex(check.machine) + ")\n  C runtime: " + text_runtime(check, our_dll) + "\n";
}

std::string text_host(const HostFile &file, const BuildFacts &facts)
{
    if (!file.error.empty()) {
        return file.file + "\n  error: " + file.error + "\n";
    }
    const HostCheck &check = file.check;
    std::string text = file.file + "\n" + text_image(check, false);
    if (!check.frees_with.empty()) {
        std::vector<std::string> frees;
        for (const HeapImport &import : check.frees_with) {
            frees.push_back(import.function + " from " + import.dll);
        }
        text += "  frees with: " + comma_list(frees) + "\n";
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
    for (const BuildFacts::Build &build : check.builds) {
        presets.push_back(build.preset);
    }
    text += "  builds that serve it: " + (presets.empty() ? std::string("none") : comma_list(presets)) + "\n";
    for (const std::string &note : check.notes) {
        text += "  note: " + note + "\n";
    }
    for (const std::string &reason : check.reasons) {
        text += "  why: " + reason + "\n";
    }
    return text;
}

void json_binds(JsonWriter &json, const std::vector<PeAssembly> &binds)
{
    json.begin_array();
    for (const PeAssembly &bound : binds) {
        json.begin_object().key("name").string(bound.name).key("version").string(bound.version);
        json.key("architecture").string(bound.architecture).end_object();
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

void json_dll(JsonWriter &json, const DllCheck &dll)
{
    const bool read = dll.error.empty();
    json.begin_object().key("path").string(dll.path).key("beside").boolean(dll.beside);
    json.key("error").string_or_null(dll.error);
    json_platform(json, dll, read);
    json.key("c_runtime_dlls").strings(dll.runtime_dlls).key("exports").begin_array();
    for (const PeExport &entry : dll.exports) {
        json.begin_object().key("name").string_or_null(entry.name).key("ordinal").number(static_cast<long long>(entry.ordinal));
        json.end_object();
    }
    json.end_array().key("file_version").string_or_null(dll.file_version);
    json.key("product_version").string_or_null(dll.product_version);
    json.key("product_name").string_or_null(dll.product_name).key("manifest_binds");
    json_binds(json, dll.binds);
    json_fact(json, "ours", read, dll.ours);
    json.key("notes").strings(dll.notes).key("reasons").strings(dll.reasons);
    json.key("fits").boolean(read && dll.reasons.empty()).end_object();
}

void json_host(JsonWriter &json, const HostFile &file)
{
    const bool read = file.error.empty();
    const HostCheck &check = file.check;
    json.begin_object().key("file").string(file.file).key("error").string_or_null(file.error);
    json_platform(json, check, read);
    json_fact(json, "c_runtime_is_ours", read, check.runtime == RuntimeKind::ours);
    json_fact(json, "c_runtime_is_static", read, check.runtime == RuntimeKind::linked);
    json.key("c_runtime_dlls").strings(check.runtime_dlls).key("frees_with").begin_array();
    for (const HeapImport &import : check.frees_with) {
        json.begin_object().key("function").string(import.function).key("dll").string(import.dll).end_object();
    }
    json.end_array();
    json_fact(json, "uses_our_dll", read, check.use != Use::none);
    json_fact(json, "loads_at_run_time", read, check.use == Use::strings);
    json.key("names").begin_array();
    for (const NameCheck &entry : check.names) {
        json.begin_object().key("name").string_or_null(entry.name).key("ordinal");
        entry.name.empty() ? json.number(entry.ordinal) : json.null();
        json.key("delay_loaded").boolean(entry.delay_loaded).key("from_strings").boolean(check.use == Use::strings);
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

namespace {

std::string text_dll(const std::vector<HostFile> &files, const DllCheck *dll, const BuildFacts &facts)
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
    text += text_image(*dll, true) + "  exports: " + (exports.empty() ? std::string("nothing") : comma_list(exports)) +
            "\n  version: " + (dll->file_version.empty() ? std::string("none") : dll->file_version) +
            (dll->product_version.empty() ? "" : ", product version " + dll->product_version) +
            (dll->product_name.empty() ? "" : ", product name " + dll->product_name) + "\n";
    for (const PeAssembly &bound : dll->binds) {
        text += "  manifest binds: " + assembly_text(bound) + "\n";
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

std::string check_host_text(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict,
                         const BuildFacts &facts)
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

std::string check_host_json(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict)
{
    JsonWriter json;
    json.begin_object().key("files").begin_array(JsonWriter::Layout::lines);
    for (const HostFile &file : files) {
        json_host(json, file);
    }
    json.end_array().key("dll");
    if (dll == nullptr) {
        json.null();
    } else {
        json_dll(json, *dll);
    }
    json.key("verdict").begin_object().key("fits").boolean(verdict.fits).key("build");
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
