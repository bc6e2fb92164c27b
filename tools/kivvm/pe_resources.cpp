// SPDX-License-Identifier: MIT
#include "pe_resources.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace kivvm_tool {

std::string utf16_to_utf8(const std::vector<std::uint32_t> &units)
{
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10U) + (units[++i] - 0xdc00);
        } else if (c >= 0xd800 && c < 0xe000) {
            c = 0xfffd;
        }
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += {static_cast<char>(0xc0 | c >> 6U), static_cast<char>(0x80 | (c & 0x3fU))};
        } else if (c < 0x10000) {
            text += {static_cast<char>(0xe0 | c >> 12U), static_cast<char>(0x80 | (c >> 6U & 0x3fU)),
                     static_cast<char>(0x80 | (c & 0x3fU))};
        } else {
            text += {static_cast<char>(0xf0 | c >> 18U), static_cast<char>(0x80 | (c >> 12U & 0x3fU)),
                     static_cast<char>(0x80 | (c >> 6U & 0x3fU)), static_cast<char>(0x80 | (c & 0x3fU))};
        }
    }
    return text;
}

namespace {

// One block of a version resource in data[begin, end), and its children:
// its length, its value's length, whether the value is text, its key in
// UTF-16, then, each from a 4-byte boundary, its value and its children.
// The root's value is the fixed part; under "StringFileInfo", a string
// table's children hold the strings.
using StringTables = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

void read_version_block(const std::string &data, std::size_t begin, std::size_t end, unsigned depth,
                        bool strings, PeVersion &version, StringTables &tables)
{
    const auto u16 = [&](std::size_t at) {
        return at + 2 <= end ? static_cast<std::uint32_t>(static_cast<unsigned char>(data[at]) |
                                                          static_cast<unsigned char>(data[at + 1]) << 8U)
                             : 0;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16U; };
    const auto aligned = [](std::size_t at) { return (at + 3) & ~std::size_t{3}; };
    const auto text = [&](std::size_t at, std::size_t stop) {
        std::vector<std::uint32_t> units;
        for (; at + 2 <= stop && u16(at) != 0; at += 2) {
            units.push_back(u16(at));
        }
        return std::make_pair(utf16_to_utf8(units), at + 2);
    };
    const std::size_t length = u16(begin);
    if (length < 6 || length > end - begin) {
        return;
    }
    end = begin + length;
    const auto [key, after_key] = text(begin + 6, end);
    const std::size_t value = aligned(after_key);
    const std::size_t value_bytes = u16(begin + 4) == 1 ? 2 * std::size_t{u16(begin + 2)} : u16(begin + 2);
    const auto version_at = [&](std::size_t at) {
        return std::to_string(u32(at) >> 16U) + "." + std::to_string(u32(at) & 0xffffU) + "." +
               std::to_string(u32(at + 4) >> 16U) + "." + std::to_string(u32(at + 4) & 0xffffU);
    };
    if (depth == 0 && value_bytes >= 52 && value + 52 <= end && u32(value) == 0xfeef04bdU) {
        version.file_version = version_at(value + 8);
        version.product_version = version_at(value + 16);
    }
    if (depth == 3) {
        if (strings) {
            tables.back().second.emplace_back(key, text(value, std::min(end, value + value_bytes)).first);
        }
        return;
    }
    if (depth == 2 && strings) {
        tables.emplace_back(key, StringTables::value_type::second_type());
    }
    for (std::size_t child = aligned(value + value_bytes); child + 6 <= end && u16(child) != 0;
         child = aligned(child + u16(child))) {
        read_version_block(data, child, end, depth + 1, strings || (depth == 1 && key == "StringFileInfo"), version,
                           tables);
    }
}

}  // namespace

PeVersion read_version(const std::string &data)
{
    PeVersion version;
    StringTables tables;
    read_version_block(data, 0, data.size(), 0, false, version, tables);
    const auto english = std::find_if(tables.begin(), tables.end(), [](const StringTables::value_type &table) {
        return table.first == "040904B0" || table.first == "040904b0";
    });
    if (english != tables.end() || !tables.empty()) {
        version.strings = (english != tables.end() ? *english : tables.front()).second;
    }
    return version;
}

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A manifest's text in UTF-8: one in UTF-16 (with its byte order mark, or
// little-endian and starting with '<') is converted.
std::string as_utf8(const std::string &data)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(data[at]); };
    const bool little = data.size() >= 2 && ((byte(0) == 0xff && byte(1) == 0xfe) || (byte(0) == '<' && byte(1) == 0));
    const bool big = data.size() >= 2 && byte(0) == 0xfe && byte(1) == 0xff;
    if (!little && !big) {
        return data;
    }
    std::vector<std::uint32_t> units;
    for (std::size_t at = byte(0) == '<' ? 0 : 2; at + 1 < data.size(); at += 2) {
        units.push_back(little ? byte(at) | byte(at + 1) << 8U : byte(at) << 8U | byte(at + 1));
    }
    return utf16_to_utf8(units);
}

// An attribute's value as XML reads it: each tab and line end a space,
// then its references decoded: the five entities of XML and character
// references, in decimal or hexadecimal.
std::string decode(const std::string &value)
{
    static const std::pair<const char *, char> kEntities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    std::string text;
    for (std::size_t at = 0; at < value.size(); ++at) {
        const std::size_t end = value[at] == '&' ? value.find(';', at) : std::string::npos;
        if (end == std::string::npos) {
            text += is_space(value[at]) ? ' ' : value[at];
            continue;
        }
        const std::string entity = value.substr(at + 1, end - at - 1);
        const auto named = std::find_if(std::begin(kEntities), std::end(kEntities),
                                        [&](const auto &known) { return entity == known.first; });
        if (named != std::end(kEntities)) {
            text += named->second;
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hexadecimal = entity[1] == 'x';
            text += utf16_to_utf8({static_cast<std::uint32_t>(
                std::strtoul(entity.c_str() + (hexadecimal ? 2 : 1), nullptr, hexadecimal ? 16 : 10))});
        } else {
            text += "&" + entity + ";";
        }
        at = end;
    }
    return text;
}

// Where what ends, from at, or the end of the text.
std::size_t past(const std::string &xml, std::size_t at, const char *what)
{
    const std::size_t end = xml.find(what, at);
    return end == std::string::npos ? xml.size() : end + std::strlen(what);
}

// One tag: its name, whether it ends an element or is one whole (<x/>), its
// attributes, and where it ends; complete is false where the text ends
// first.
struct Tag {
    std::string name;
    bool ends = false;
    bool empty = false;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::size_t end = 0;
    bool complete = false;
};

Tag read_tag(const std::string &xml, std::size_t at)
{
    Tag tag;
    tag.ends = xml.compare(at, 2, "</") == 0;
    std::size_t i = at + (tag.ends ? 2 : 1);
    const auto word = [&](const char *stops) {
        const std::size_t start = i;
        while (i < xml.size() && !is_space(xml[i]) && std::strchr(stops, xml[i]) == nullptr) {
            ++i;
        }
        return xml.substr(start, i - start);
    };
    const auto spaces = [&] {
        while (i < xml.size() && is_space(xml[i])) {
            ++i;
        }
    };
    tag.name = word("<>/=");
    while (!tag.name.empty() && i < xml.size()) {
        spaces();
        if (xml.compare(i, 1, ">") == 0 || xml.compare(i, 2, "/>") == 0) {
            tag.empty = xml[i] == '/';
            tag.end = i + (tag.empty ? 2 : 1);
            tag.complete = true;
            break;
        }
        const std::string key = word("<>/=");
        spaces();
        if (key.empty() || xml.compare(i, 1, "=") != 0) {
            ++i;  // not an attribute: an XML parser refuses the tag
            continue;
        }
        ++i;
        spaces();
        const std::size_t close = i < xml.size() && (xml[i] == '"' || xml[i] == '\'') ? xml.find(xml[i], i + 1)
                                                                                      : std::string::npos;
        if (close == std::string::npos) {
            break;
        }
        tag.attributes.emplace_back(key, decode(xml.substr(i + 1, close - i - 1)));
        i = close + 1;
    }
    return tag;
}

}  // namespace

std::vector<PeAssembly> read_manifest(const std::string &data)
{
    const std::string xml = as_utf8(data);
    std::vector<PeAssembly> assemblies;
    std::vector<std::string> open;  // the local names of the elements open, outermost first
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at)) {
        // A processing instruction, a comment, CDATA or a declaration: to its end.
        if (xml.compare(at, 2, "<?") == 0 || xml.compare(at, 2, "<!") == 0) {
            at = past(xml, at + 2, xml[at + 1] == '?' ? "?>" : xml[at + 2] == '-' ? "-->" : xml[at + 2] == '[' ? "]]>" : ">");
            continue;
        }
        const Tag tag = read_tag(xml, at);
        if (tag.name.empty()) {
            ++at;  // a '<' that opens no tag
            continue;
        }
        if (!tag.complete) {
            break;
        }
        const std::string local = tag.name.substr(tag.name.find(':') == std::string::npos ? 0 : tag.name.find(':') + 1);
        if (tag.ends) {
            const auto element = std::find(open.rbegin(), open.rend(), local);
            open.erase(element == open.rend() ? open.end() : std::prev(element.base()), open.end());
        } else {
            if (local == "assemblyIdentity" && !open.empty() && open.back() == "dependentAssembly") {
                const auto attribute = [&](const char *key) {
                    const auto found = std::find_if(tag.attributes.begin(), tag.attributes.end(),
                                                    [&](const auto &pair) { return pair.first == key; });
                    return found == tag.attributes.end() ? std::string() : found->second;
                };
                assemblies.push_back({attribute("name"), attribute("version"), attribute("processorArchitecture"),
                                      attribute("publicKeyToken")});
            }
            if (!tag.empty) {
                open.push_back(local);
            }
        }
        at = tag.end;
    }
    return assemblies;
}

}  // namespace kivvm_tool
