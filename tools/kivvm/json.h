// SPDX-License-Identifier: MIT
// The JSON kivvm writes: for an identity, for the table and for check-host.
// Strings are always valid UTF-8; objects and arrays hold their items on one
// line ({"a": 1, "b": 2}) or each on a line of its own, indented by two
// spaces a level.
#ifndef KIVVM_TOOL_JSON_H
#define KIVVM_TOOL_JSON_H

#include <string>
#include <vector>

namespace kivvm_tool {

// A JSON string literal, or null.  Always valid UTF-8: valid UTF-8 passes
// through unchanged, and every byte from 0x80 up that is not part of a
// valid sequence becomes U+FFFD.
std::string json_string(const char *text);

// A JSON text, written as it goes: begin a container, give each item (a key
// first, in an object), end it.  Separators and layout are the writer's.
class JsonWriter {
public:
    enum class Layout { inline_items, lines };

    JsonWriter &begin_object(Layout layout = Layout::inline_items);
    JsonWriter &end_object();
    JsonWriter &begin_array(Layout layout = Layout::inline_items);
    JsonWriter &end_array();
    JsonWriter &key(const char *name);
    JsonWriter &string(const std::string &text);
    JsonWriter &string_or_null(const std::string &text);  // null when empty
    JsonWriter &string_or_null(const char *text);         // null when null
    JsonWriter &strings(const std::vector<std::string> &texts);  // an array of them
    JsonWriter &number(long long value);
    JsonWriter &boolean(bool value);
    JsonWriter &null();
    // JSON written elsewhere, as one item.
    JsonWriter &raw(const std::string &json);

    const std::string &text() const { return out_; }

private:
    void item();
    std::string indent() const;
    JsonWriter &begin(char bracket, Layout layout);
    JsonWriter &end(char bracket);

    struct Level {
        Layout layout;
        bool empty;
    };
    std::vector<Level> levels_;
    std::string out_;
    bool after_key_ = false;
};

}  // namespace kivvm_tool

#endif
