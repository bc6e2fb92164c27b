// SPDX-License-Identifier: MIT
#include "pe_strings.h"

#include <set>

namespace kivvm_tool {

namespace {

bool is_word(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

int fold(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

}  // namespace


PeStrings scan_strings(const unsigned char *data, std::size_t size, const std::string &dll, const std::string &prefix)
{
    PeStrings text;
    std::set<std::string> seen;
    // ASCII, a character a byte; then UTF-16LE, a character two bytes, the
    // second zero, at any offset.
    for (const std::size_t width : {std::size_t{1}, std::size_t{2}}) {
        // The character at offset, or 0 where there is none (0 is part of
        // no name and no word).
        const auto at = [&](std::size_t offset) {
            if (offset >= size || size - offset < width || (width == 2 && data[offset + 1] != 0)) {
                return 0;
            }
            return static_cast<int>(data[offset]);
        };
        const auto holds = [&](std::size_t offset, const std::string &what, bool any_case) {
            for (std::size_t i = 0; i < what.size(); ++i) {
                const int c = at(offset + i * width);
                if (any_case ? fold(c) != fold(what[i]) : c != what[i]) {
                    return false;
                }
            }
            return true;
        };
        for (std::size_t offset = 0; offset < size; ++offset) {
            text.names_dll = text.names_dll || holds(offset, dll, true);
            if ((offset < width || !is_word(at(offset - width))) && holds(offset, prefix, false)) {
                std::string word;
                for (std::size_t end = offset; is_word(at(end)); end += width) {
                    word += static_cast<char>(at(end));
                }
                if (seen.insert(word).second) {
                    text.words.push_back(word);
                }
            }
        }
    }
    return text;
}

}  // namespace kivvm_tool
