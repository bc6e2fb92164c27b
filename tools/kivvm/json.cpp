// SPDX-License-Identifier: MIT
#include "json.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace kivvm_tool {

namespace {

// Length of the valid UTF-8 sequence at s (at most n bytes), or 0 when the
// byte at s does not start one: overlong forms, surrogates and code points
// above U+10FFFF are not valid.
std::size_t utf8_sequence_length(const unsigned char *s, std::size_t n)
{
    const unsigned char c = s[0];
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || length > n || s[1] < low || s[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string json_string(const char *text)
{
    if (text == nullptr) {
        return "null";
    }
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    const std::size_t n = std::strlen(text);
    std::string out = "\"";
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            const std::size_t length = utf8_sequence_length(s + i, n - i);
            out.append(length != 0 ? std::string_view(text + i, length) : "\xEF\xBF\xBD");
            i += length != 0 ? length : 1;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

// Two spaces for each container of lines that is open.
std::string JsonWriter::indent() const
{
    std::size_t depth = 0;
    for (const Level &level : levels_) {
        depth += level.layout == Layout::lines ? 1 : 0;
    }
    return std::string(2 * depth, ' ');
}

// Before an item: after a key nothing, else the separator from the item
// before it, and in a container of lines a new line at its depth.
void JsonWriter::item()
{
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    Level &level = levels_.back();
    if (level.layout == Layout::lines) {
        out_ += (level.empty ? "\n" : ",\n") + indent();
    } else if (!level.empty) {
        out_ += ", ";
    }
    level.empty = false;
}

JsonWriter &JsonWriter::begin(char bracket, Layout layout)
{
    item();
    out_ += bracket;
    levels_.push_back({layout, true});
    return *this;
}

JsonWriter &JsonWriter::end(char bracket)
{
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.layout == Layout::lines && !level.empty) {
        out_ += "\n" + indent();
    }
    out_ += bracket;
    return *this;
}

JsonWriter &JsonWriter::begin_object(Layout layout) { return begin('{', layout); }
JsonWriter &JsonWriter::end_object() { return end('}'); }
JsonWriter &JsonWriter::begin_array(Layout layout) { return begin('[', layout); }
JsonWriter &JsonWriter::end_array() { return end(']'); }

JsonWriter &JsonWriter::key(const char *name)
{
    item();
    out_ += json_string(name) + ": ";
    after_key_ = true;
    return *this;
}

JsonWriter &JsonWriter::raw(const std::string &json)
{
    item();
    out_ += json;
    return *this;
}

JsonWriter &JsonWriter::string(const std::string &text) { return raw(json_string(text.c_str())); }
JsonWriter &JsonWriter::string_or_null(const std::string &text) { return text.empty() ? null() : string(text); }
JsonWriter &JsonWriter::string_or_null(const char *text) { return raw(json_string(text)); }
JsonWriter &JsonWriter::number(long long value) { return raw(std::to_string(value)); }
JsonWriter &JsonWriter::boolean(bool value) { return raw(value ? "true" : "false"); }
JsonWriter &JsonWriter::null() { return raw("null"); }

JsonWriter &JsonWriter::strings(const std::vector<std::string> &texts)
{
    begin_array();
    for (const std::string &text : texts) {
        string(text);
    }
    return end_array();
}

}  // namespace kivvm_tool
