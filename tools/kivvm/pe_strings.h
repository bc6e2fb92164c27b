// SPDX-License-Identifier: MIT
// What a program that loads a DLL at run time holds for LoadLibrary and
// GetProcAddress: text anywhere in its bytes, as ASCII or as UTF-16LE at
// any offset.  The bytes are read once, in order, a chunk at a time.
#ifndef KIVVM_TOOL_PE_STRINGS_H
#define KIVVM_TOOL_PE_STRINGS_H

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

namespace kivvm_tool {

struct PeStrings {
    // The DLL's name, in any case, with or without its ".dll" (Windows adds
    // it), as a word of its own: "x.dll" names x.dll; "x.exe", "x_y" and
    // "ax.dll" do not.
    bool names_dll = false;
    // Where the name lies in ASCII with ".dll" and a NUL, as a table of
    // imports holds it: the first few.
    std::vector<std::uint64_t> dll_name_at;
    // Each word (letters, digits, '_') that starts with the prefix (compared
    // as it is; a word does not start inside another), once, in the order
    // found; words longer than 256 characters are left out, and after 4096
    // words the rest.
    std::vector<std::string> words;
    std::string error;  // why the bytes could not all be read, or empty
};

// Scans bytes for dll's name and for words that start with prefix.
PeStrings scan_strings(const ByteSource &bytes, const std::string &dll, const std::string &prefix);

}  // namespace kivvm_tool

#endif
