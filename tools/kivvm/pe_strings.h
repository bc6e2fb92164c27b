// SPDX-License-Identifier: MIT
// What a program that loads a DLL at run time holds for LoadLibrary and
// GetProcAddress: text anywhere in its bytes, as ASCII or as UTF-16LE.
#ifndef KIVVM_TOOL_PE_STRINGS_H
#define KIVVM_TOOL_PE_STRINGS_H

#include <cstddef>
#include <string>
#include <vector>

namespace kivvm_tool {

struct PeStrings {
    bool names_dll = false;          // the DLL's name, in any case
    std::vector<std::string> words;  // each word (letters, digits, '_') that starts
                                     // with the prefix, as found, once, in order
};

// Looks through data[0, size) for dll's name and for words that start with
// prefix (compared as they are; a word does not start inside another).
PeStrings scan_strings(const unsigned char *data, std::size_t size, const std::string &dll, const std::string &prefix);

}  // namespace kivvm_tool

#endif
