// SPDX-License-Identifier: MIT
// kivvm check-host's answer for a process, as text and as JSON.
#ifndef KIVVM_TOOL_HOST_CHECK_OUTPUT_H
#define KIVVM_TOOL_HOST_CHECK_OUTPUT_H

#include <string>

#include "host_check.h"

namespace kivvm_tool {

// A process as text: each file's facts, the DLL's, then the verdict, which
// ends with "fits: yes", "fits: no" or "fits: cannot tell".
std::string check_host_text(const ProcessCheck &process, const BuildFacts &facts);

// A process as one JSON object: {"files": [...], "program": ..., "dll":
// {...} or null, "verdict": {...}}, every file with the same keys, and the
// verdict's "fits" true, false or null (cannot tell).
std::string check_host_json(const ProcessCheck &process);

}  // namespace kivvm_tool

#endif
