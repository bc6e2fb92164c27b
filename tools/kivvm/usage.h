// SPDX-License-Identifier: MIT
// kivvm's command line as --help says it: its options and its exit
// statuses.  The manual page, kivvm(1), says the same, and a test holds
// the two together (host_check_test.cpp).
#ifndef KIVVM_TOOL_USAGE_H
#define KIVVM_TOOL_USAGE_H

namespace kivvm_tool {
namespace exit_status {

enum ExitStatus {
    kExitSelected = 0,
    kExitNoMatch = 1,
    kExitUsage = 2,
    kExitWriteError = 3,
    kExitUnreadable = 4,
    kExitCannotTell = 5
};

}  // namespace exit_status

inline constexpr char kUsage[] =
    "usage: kivvm [--json] [--] IDENTITY\n"
    "       kivvm --list [--json]\n"
    "       kivvm check-host [--json] [--each] [--dll DLL] [--] FILE...\n"
    "       kivvm --version | --help\n"
    "\n"
    "Selects the variant whose key occurs in IDENTITY and prints its identity,\n"
    "derived names and setup paths.  Options may stand anywhere before --.\n"
    "\n"
    "  --json     print JSON instead of aligned text; always valid UTF-8: a\n"
    "             byte that is not part of valid UTF-8 becomes U+FFFD\n"
    "  --list     print every row of the variant table built into this kivvm,\n"
    "             and which identities can select it\n"
    "  --each     check-host: judge each FILE as a process of its own\n"
    "  --dll DLL  check-host: check DLL as the kivvariantmanager.dll that loads,\n"
    "             not the one beside the program\n"
    "  --version  print the library version this kivvm was built with\n"
    "  -h, --help print this help and exit\n"
    "  --         end of options: an IDENTITY that starts with '-' follows\n"
    "\n"
    "check-host reads the Windows programs and DLLs of one process (a program\n"
    "and its plugins) and says whether the kivvariantmanager.dll that will load\n"
    "serves every FILE that uses it: imports it (directly, delay-loaded, or\n"
    "through a FILE that forwards to it) or names it in its strings for\n"
    "LoadLibrary.  A FILE that releases the setup path list with its own free()\n"
    "or delete[] needs the build on the C runtime it frees with; one on another\n"
    "runtime, on several, or linked in statically fits only if it uses\n"
    "KIVVMFreeSetupPaths or never KIVVMGetSetupPaths.  The DLL checked is the\n"
    "one beside the FILE that is a program (in any case), or DLL; it must be\n"
    "ours by its version resource, of their architecture and C runtime, and\n"
    "export every name they ask for; otherwise it says which zip to take.\n"
    "\n"
    "Exit status: 0 a variant was selected (or --list, --version, --help;\n"
    "with check-host: fits: yes, a FILE uses the DLL, and the DLL that will\n"
    "load was read and is the one build that serves them all), 1 no variant\n"
    "matches IDENTITY (fits: no), 2 bad usage (two programs in one process),\n"
    "3 the output could not be written, 4 a FILE or the DLL cannot be read or\n"
    "is not a well-formed PE file, 5 fits: cannot tell (no DLL to check, or no\n"
    "FILE seen to use it).  With --each, the worst: 4, then 1, 5, 0.\n"
    "man kivvm lists the JSON keys.\n";

}  // namespace kivvm_tool

#endif
