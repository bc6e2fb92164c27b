// SPDX-License-Identifier: MIT
// kivvm check-host's files: each FILE read from disk, and the
// kivvariantmanager.dll that will load into the process found and read, then
// judged by host_check.
#ifndef KIVVM_TOOL_HOST_FILES_H
#define KIVVM_TOOL_HOST_FILES_H

#include <optional>
#include <string>
#include <vector>

#include "host_check.h"

namespace kivvm_tool {

// One process's files, the DLL checked (none when there is none to check)
// and the verdict.
struct CheckedProcess {
    std::vector<HostFile> files;
    std::optional<DllCheck> dll;
    Verdict verdict;
};

// The FILEs as one process, or with each, each as a process of its own;
// the DLL checked is dll where it is given, else the one beside the
// process's first FILE.
std::vector<CheckedProcess> check_processes(const std::vector<std::string> &files, const char *dll, bool each,
                                            const BuildFacts &facts);

}  // namespace kivvm_tool

#endif
