// SPDX-License-Identifier: MIT
// What kivvm prints for an identity, as text and as JSON, apart from its
// command line, so that the tests and the fuzz target can call it.
#ifndef KIVVM_TOOL_REPORT_H
#define KIVVM_TOOL_REPORT_H

#include <string>
#include <vector>

namespace kivvm_tool {

// One answer of the library: an integer, or a string that may be null.
struct Field {
    const char *label;
    bool is_integer;
    int integer;
    const char *string;
};

// Everything the library answers for an identity, in the order kivvm prints
// it; the setup paths are copies, the library's list already released.
struct Report {
    const char *identity;
    bool selected;
    std::vector<Field> fields;
    std::vector<std::string> setup_paths;
};

// Calls KIVVMInit(identity), then every query.
Report ask_library(const char *identity);

// The report as one JSON object, and as aligned text.
std::string json_report(const Report &report);
std::string text_report(const Report &report);

}  // namespace kivvm_tool

#endif
