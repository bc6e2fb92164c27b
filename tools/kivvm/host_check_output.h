// SPDX-License-Identifier: MIT
// kivvm check-host's answer for a process, as text and as JSON.
#ifndef KIVVM_TOOL_HOST_CHECK_OUTPUT_H
#define KIVVM_TOOL_HOST_CHECK_OUTPUT_H

#include <string>
#include <vector>

#include "host_check.h"

namespace kivvm_tool {

// A process as text: each file's facts, the DLL's, then the verdict; and as
// one JSON object {"files": [...], "dll": {...} or null, "verdict": {...}},
// every file with the same keys.
std::string check_host_text(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict,
                            const BuildFacts &facts);
std::string check_host_json(const std::vector<HostFile> &files, const DllCheck *dll, const Verdict &verdict);

}  // namespace kivvm_tool

#endif
