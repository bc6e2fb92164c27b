// SPDX-License-Identifier: MIT
#include "pe_strings.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unordered_set>
#include <utility>

namespace kivvm_tool {
namespace {

constexpr std::size_t kMaxWord = 256;  // characters
constexpr std::size_t kMaxWords = 4096;
constexpr std::size_t kMaxNamesAt = 16;
// The bytes are read in chunks; a match may look this far past where it
// starts (a longest word and the character after it, in UTF-16), and one
// character before.
constexpr std::size_t kChunk = std::size_t{1} << 20U;
constexpr std::size_t kAhead = 2 * (kMaxWord + 2);
constexpr std::size_t kBehind = 2;

bool is_word(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

int fold(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Whether any of the eight bytes in word is byte (the classic test for a
// zero byte, after an exclusive or).
bool holds_byte(std::uint64_t word, unsigned char byte)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    const std::uint64_t x = word ^ (kOnes * byte);
    return ((x - kOnes) & ~x & (kOnes << 7U)) != 0;
}

class Scanner {
public:
    Scanner(const std::string &dll, std::string prefix) : prefix_(std::move(prefix))
    {
        std::transform(dll.begin(), dll.end(), std::back_inserter(stem_), fold);
        if (stem_.size() > 4 && stem_.compare(stem_.size() - 4, 4, ".dll") == 0) {
            stem_.resize(stem_.size() - 4);
        }
        // A match starts at a byte that is, with the bit of lower case set,
        // the stem's first letter or the prefix's first character.
        firsts_[0] = static_cast<unsigned char>(stem_.empty() ? 0 : stem_[0] | 0x20);
        firsts_[1] = static_cast<unsigned char>(prefix_.empty() ? 0 : prefix_[0] | 0x20);
    }

    // Looks at every match that starts in data[from, to), where data[0] is
    // the byte at base and data[0, size) is held.
    void scan(const unsigned char *data, std::size_t size, std::size_t from, std::size_t to, std::uint64_t base)
    {
        constexpr std::uint64_t kLower = 0x2020202020202020ULL;
        std::size_t p = from;
        for (; p + 8 <= to; p += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + p, 8);
            word |= kLower;
            if (holds_byte(word, firsts_[0]) || (firsts_[1] != firsts_[0] && holds_byte(word, firsts_[1]))) {
                for (std::size_t k = p; k < p + 8; ++k) {
                    match(data, size, k, base);
                }
            }
        }
        for (; p < to; ++p) {
            match(data, size, p, base);
        }
    }

    PeStrings result;

private:
    // The matches that start at p, in ASCII and in UTF-16LE.
    void match(const unsigned char *data, std::size_t size, std::size_t p, std::uint64_t base)
    {
        const unsigned char first = data[p] | 0x20U;
        if (first != firsts_[0] && first != firsts_[1]) {
            return;
        }
        for (const std::size_t width : {std::size_t{1}, std::size_t{2}}) {
            // The character i places from p (-1 before p), or -1 where
            // there is none.
            const auto at = [&](std::ptrdiff_t i) -> int {
                const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(p) + i * static_cast<std::ptrdiff_t>(width);
                if (offset < 0 || static_cast<std::size_t>(offset) + width > size ||
                    (width == 2 && data[offset + 1] != 0)) {
                    return -1;
                }
                return data[offset];
            };
            if (is_word(at(-1))) {
                continue;
            }
            word(at);
            dll_name(at, width == 1, base + p);
        }
    }

    template <typename At>
    void word(const At &at)
    {
        for (std::size_t i = 0; i < prefix_.size(); ++i) {
            if (at(static_cast<std::ptrdiff_t>(i)) != static_cast<unsigned char>(prefix_[i])) {
                return;
            }
        }
        std::string found;
        for (std::ptrdiff_t i = 0; is_word(at(i)) && found.size() <= kMaxWord; ++i) {
            found += static_cast<char>(at(i));
        }
        if (found.size() <= kMaxWord && result.words.size() < kMaxWords && seen_.insert(found).second) {
            result.words.push_back(found);
        }
    }

    // The stem, then ".dll" or a character that ends a word; ".dll" and a
    // NUL in ASCII is a name as a table holds it, at offset.
    template <typename At>
    void dll_name(const At &at, bool ascii, std::uint64_t offset)
    {
        const auto length = static_cast<std::ptrdiff_t>(stem_.size());
        for (std::ptrdiff_t i = 0; i < length; ++i) {
            if (fold(at(i)) != static_cast<unsigned char>(stem_[static_cast<std::size_t>(i)])) {
                return;
            }
        }
        const bool extension = at(length) == '.' && fold(at(length + 1)) == 'd' && fold(at(length + 2)) == 'l' &&
                               fold(at(length + 3)) == 'l' && !is_word(at(length + 4));
        if (extension || (at(length) != '.' && !is_word(at(length)))) {
            result.names_dll = true;
        }
        if (extension && ascii && at(length + 4) == 0 && result.dll_name_at.size() < kMaxNamesAt) {
            result.dll_name_at.push_back(offset);
        }
    }

    std::string stem_;  // the DLL's name in lower case, without ".dll"
    std::string prefix_;
    unsigned char firsts_[2];
    std::unordered_set<std::string> seen_;
};

}  // namespace

PeStrings scan_strings(const ByteSource &bytes, const std::string &dll, const std::string &prefix)
{
    Scanner scanner(dll, prefix);
    // The chunk read last, after what matches that start before it may
    // still look at.
    std::vector<unsigned char> buffer(kBehind + kAhead + kChunk);
    std::size_t held = 0;  // bytes in the buffer
    std::size_t next = 0;  // the first where no match was looked for
    std::uint64_t base = 0;  // the offset of the buffer's first byte
    for (std::uint64_t offset = 0; offset < bytes.size();) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, bytes.size() - offset));
        if (!bytes.read(offset, buffer.data() + held, n)) {
            scanner.result.error = "cannot read it: " + bytes.error();
            break;
        }
        held += n;
        offset += n;
        const std::size_t to = offset == bytes.size() ? held : std::max(next, held > kAhead ? held - kAhead : 0);
        scanner.scan(buffer.data(), held, next, to, base);
        next = to;
        const std::size_t drop = next > kBehind ? next - kBehind : 0;
        std::memmove(buffer.data(), buffer.data() + drop, held - drop);
        held -= drop;
        next -= drop;
        base += drop;
    }
    return scanner.result;
}

}  // namespace kivvm_tool
