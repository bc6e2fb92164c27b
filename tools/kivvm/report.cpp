// SPDX-License-Identifier: MIT
#include "report.h"

#include <cstdio>

#include "json.h"
#include "kivvariantmanager.h"

namespace kivvm_tool {

namespace {

Field integer_field(const char *label, int value) { return {label, true, value, nullptr}; }
Field string_field(const char *label, const char *value) { return {label, false, 0, value}; }

}  // namespace

Report ask_library(const char *identity)
{
    Report report{identity, KIVVMInit(identity) != 0, {}, {}};
    report.fields = {
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
    const int count = KIVVMGetSetupPaths(&paths);
    report.setup_paths.assign(paths, paths + count);
    KIVVMFreeSetupPaths(paths, count);
    return report;
}

std::string json_report(const Report &report)
{
    JsonWriter json;
    json.begin_object(JsonWriter::Layout::lines).key("identity").string_or_null(report.identity);
    json.key("selected").boolean(report.selected);
    for (const Field &f : report.fields) {
        json.key(f.label);
        if (f.is_integer) {
            json.number(f.integer);
        } else {
            json.string_or_null(f.string);
        }
    }
    json.key("SetupPaths").strings(report.setup_paths);
    return json.end_object().text() + "\n";
}

std::string text_report(const Report &report)
{
    std::string out;
    const auto line = [&out](const char *label, const std::string &value) {
        char start[32];
        std::snprintf(start, sizeof start, "%-18s ", label);
        out += start + value + "\n";
    };
    line("identity", report.identity);
    line("selected", report.selected ? "yes" : "no");
    for (const Field &f : report.fields) {
        line(f.label, f.is_integer ? std::to_string(f.integer) : f.string != nullptr ? f.string : "(null)");
    }
    if (report.setup_paths.empty()) {
        line("SetupPaths", "(none)");
    }
    for (std::size_t i = 0; i < report.setup_paths.size(); ++i) {
        line(i == 0 ? "SetupPaths" : "", report.setup_paths[i]);
    }
    return out;
}

}  // namespace kivvm_tool
