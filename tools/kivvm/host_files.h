// SPDX-License-Identifier: MIT
// kivvm check-host's files: each FILE read from disk where its tables lie
// and scanned once for strings, so that a file of any size takes little
// memory; the process's program found among them; and the
// kivvariantmanager.dll that will load (the one beside the program, or one
// named) read; then judged by host_check.
#ifndef KIVVM_TOOL_HOST_FILES_H
#define KIVVM_TOOL_HOST_FILES_H

#include <string>
#include <vector>

#include "host_check.h"

namespace kivvm_tool {

// The processes of the FILEs: one, or with each, one a FILE.  The same file
// named twice counts once.  Fills processes and returns an empty string, or
// says why the FILEs are no process (two programs in one).
std::string check_processes(const std::vector<std::string> &files, const char *dll, bool each,
                            const BuildFacts &facts, std::vector<ProcessCheck> &processes);

}  // namespace kivvm_tool

#endif
