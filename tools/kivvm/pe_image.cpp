// SPDX-License-Identifier: MIT
#include "pe_image.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace kivvm_tool {
namespace {

// Bounds on the walks of tables whose ends the image itself gives: the
// descriptors of each directory, the imports of the whole image (several
// descriptors may share a table), a name, the sections, of which Windows
// loads no more than 96, and the exports, which ordinals of 16 bits name.
constexpr std::uint64_t kMaxModules = 4096;
constexpr std::uint64_t kMaxImports = 65536;
constexpr std::size_t kMaxName = 4096;  // with its NUL
constexpr std::uint64_t kMaxSections = 96;
constexpr std::uint64_t kMaxExports = 65536;  // functions, and names
constexpr std::uint64_t kMaxResources = 65536;  // entries of the resource tree

struct Section {
    std::uint32_t address;  // its RVA
    std::uint32_t raw_size;
    std::uint32_t raw_offset;
};

class Image {
public:
    Image(const unsigned char *data, std::size_t size) : data_(data), size_(size) {}

    // What is wrong with the image: the first failed read says.  A failed
    // read gives 0.
    const std::string &error() const { return error_; }
    bool failed() const { return !error_.empty(); }
    void fail(const std::string &error) const
    {
        if (error_.empty()) {
            error_ = error;
        }
    }

    // Little-endian integers at a file offset, which must lie in the file.
    std::uint64_t read(std::uint64_t offset, unsigned bytes, const std::string &what) const
    {
        if (offset > size_ || bytes > size_ - offset) {
            fail("truncated: " + what + " ends past the end of the file");
            return 0;
        }
        std::uint64_t value = 0;
        for (unsigned i = bytes; i-- > 0;) {
            value = value << 8U | data_[offset + i];
        }
        return value;
    }

    void add_section(Section section) { sections_.push_back(section); }
    void set_headers(std::uint64_t size) { headers_ = size; }

    // Where rva lies in the file: its offset, and how many bytes from there
    // belong to the same section (or the headers) and the file, none when
    // no section holds it; cut says that the file ends before the section.
    struct Place {
        std::uint64_t offset;
        std::uint64_t available;
        bool cut;
    };
    Place locate(std::uint64_t rva) const
    {
        if (rva < headers_) {
            return within(rva, headers_);
        }
        for (const Section &section : sections_) {
            if (rva >= section.address && rva - section.address < section.raw_size) {
                return within(section.raw_offset + (rva - section.address),
                              static_cast<std::uint64_t>(section.raw_offset) + section.raw_size);
            }
        }
        return {0, 0, false};
    }

    // Offset in a part of the file that ends at end, or would: the file
    // may be cut before it does.
    Place within(std::uint64_t offset, std::uint64_t end) const
    {
        const bool cut = end > size_;
        end = std::min<std::uint64_t>(end, size_);
        return {offset, offset < end ? end - offset : 0, cut};
    }

    // Where bytes at rva lie in the file; a failure where they do not lie in
    // one section (or the headers) and the file.
    std::uint64_t offset_of(std::uint64_t rva, std::uint64_t bytes, const std::string &what) const
    {
        const Place place = locate(rva);
        if (place.available < bytes) {
            const std::string at = what + " at RVA " + hex(rva);
            fail(place.cut              ? "truncated: " + at + " ends past the end of the file"
                 : place.available == 0 ? at + " lies outside the file's sections"
                                        : at + " ends past its section");
        }
        return place.offset;
    }

    std::uint64_t read_rva(std::uint64_t rva, unsigned bytes, const std::string &what) const
    {
        const std::uint64_t offset = offset_of(rva, bytes, what);
        return failed() ? 0 : read(offset, bytes, what);
    }

    std::vector<unsigned char> bytes_at(std::uint64_t rva, std::uint64_t bytes, const std::string &what) const
    {
        const std::uint64_t offset = offset_of(rva, bytes, what);
        return failed() ? std::vector<unsigned char>{} : std::vector<unsigned char>(data_ + offset, data_ + offset + bytes);
    }

    std::string name_at(std::uint64_t rva, const std::string &what) const
    {
        const Place place = locate(rva);
        std::string name;
        for (std::uint64_t i = 0; i < place.available && name.size() < kMaxName; ++i) {
            const unsigned char c = data_[place.offset + i];
            if (c == 0) {
                return name;
            }
            name += static_cast<char>(c);
        }
        const std::string at = what + " at RVA " + hex(rva);
        fail(name.size() == kMaxName ? at + " is longer than " + std::to_string(kMaxName - 1) + " bytes"
             : place.cut             ? "truncated: " + at + " ends past the end of the file"
             : place.available == 0  ? at + " lies outside the file's sections"
                                     : at + " has no end within its section");
        return "";
    }

private:
    const unsigned char *data_;
    std::size_t size_;
    std::vector<Section> sections_;
    std::uint64_t headers_ = 0;
    mutable std::string error_;
};

// The functions of one module, from its name (or lookup) table: one entry of
// width bytes each, ending with zero; the top bit marks an ordinal.
std::vector<PeImport> read_thunks(const Image &image, std::uint64_t table, unsigned width, const std::string &dll,
                                  std::uint64_t &budget)
{
    std::vector<PeImport> imports;
    const std::uint64_t ordinal_flag = width == 8 ? 1ULL << 63U : 1ULL << 31U;
    for (std::uint64_t i = 0; budget > 0; ++i, --budget) {
        const std::uint64_t entry = image.read_rva(table + i * width, width, "an import of " + dll);
        if (entry == 0 || image.failed()) {
            return imports;
        }
        if ((entry & ordinal_flag) != 0) {
            imports.push_back({"", static_cast<std::uint16_t>(entry & 0xffffU)});
        } else {
            // A hint of two bytes, then the name.
            const std::string name = image.name_at((entry & 0x7fffffffU) + 2, "an imported name from " + dll);
            if (name.empty()) {
                image.fail("an import from " + dll + " has an empty name");
                return imports;
            }
            imports.push_back({name, {}});
        }
    }
    image.fail("the imports have no end within " + std::to_string(kMaxImports) + " functions");
    return imports;
}

// Where an import descriptor's DLL name and table of functions lie (RVAs).
struct Tables {
    std::uint64_t name;
    std::uint64_t functions;
};

// The export directory at rva: the DLL's name, and each function's ordinal
// with its name where it has one; an address table entry of 0 exports
// nothing.
void read_exports(const Image &image, std::uint64_t rva, PeImage &result)
{
    if (rva == 0 || image.failed()) {
        return;
    }
    const std::string what = "the export directory";
    const std::uint64_t name = image.read_rva(rva + 12, 4, what);
    const std::uint64_t base = image.read_rva(rva + 16, 4, what);
    const std::uint64_t functions = image.read_rva(rva + 20, 4, what);
    const std::uint64_t names = image.read_rva(rva + 24, 4, what);
    const std::uint64_t addresses = image.read_rva(rva + 28, 4, what);
    const std::uint64_t name_table = image.read_rva(rva + 32, 4, what);
    const std::uint64_t ordinal_table = image.read_rva(rva + 36, 4, what);
    if (functions > kMaxExports || names > kMaxExports) {
        image.fail(what + " lists " + std::to_string(functions) + " functions and " + std::to_string(names) +
                   " names, more than " + std::to_string(kMaxExports));
    }
    if (name != 0 && !image.failed()) {
        result.export_name = image.name_at(name, "the name in the export directory");
    }
    std::vector<bool> named(image.failed() ? 0 : functions);
    for (std::uint64_t i = 0; i < names && !image.failed(); ++i) {
        const std::uint64_t index = image.read_rva(ordinal_table + 2 * i, 2, "the export ordinal table");
        const std::string function =
            image.name_at(image.read_rva(name_table + 4 * i, 4, "the export name table"), "an exported name");
        if (index >= functions) {
            image.fail("the exported name " + function + " has no function: its index " + std::to_string(index) +
                       " is past the " + std::to_string(functions) + " of the export address table");
        } else if (!image.failed()) {
            named[index] = true;
            result.exports.push_back({function, base + index});
        }
    }
    for (std::uint64_t i = 0; i < named.size() && !image.failed(); ++i) {
        if (!named[i] && image.read_rva(addresses + 4 * i, 4, "the export address table") != 0) {
            result.exports.push_back({"", base + i});
        }
    }
}

// Text in UTF-16LE as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8(const std::vector<std::uint32_t> &units)
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

// The tables of the resource tree under root, from the one at table (an
// offset from root) down: each leaf's type, name and language with where
// its data lies.  Three levels, as Windows reads them; budget bounds the
// entries of the whole tree.
void read_resource_table(const Image &image, std::uint64_t root, std::uint64_t table, std::vector<std::string> &path,
                         std::uint64_t &budget, std::vector<PeResource> &leaves)
{
    const std::string what = "the resource table";
    const std::uint64_t entries = image.read_rva(root + table + 12, 2, what) + image.read_rva(root + table + 14, 2, what);
    for (std::uint64_t i = 0; i < entries && !image.failed(); ++i, --budget) {
        if (budget == 0) {
            image.fail("the resource tree has more than " + std::to_string(kMaxResources) + " entries");
            return;
        }
        const std::uint64_t entry = root + table + 16 + 8 * i;
        const std::uint64_t id = image.read_rva(entry, 4, what);
        const std::uint64_t target = image.read_rva(entry + 4, 4, what);
        std::string name = std::to_string(id);
        if ((id & 0x80000000U) != 0) {
            const std::uint64_t at = root + (id & 0x7fffffffU);
            const std::uint64_t length = image.read_rva(at, 2, "a resource name");
            std::vector<std::uint32_t> units;
            for (std::uint64_t j = 0; j < length && !image.failed(); ++j) {
                units.push_back(static_cast<std::uint32_t>(image.read_rva(at + 2 + 2 * j, 2, "a resource name")));
            }
            name = utf8(units);
        }
        path.push_back(name);
        const bool subtable = (target & 0x80000000U) != 0;
        if (subtable != (path.size() < 3)) {
            image.fail("the resource tree is not three levels deep at " + path[0] + (path.size() > 1 ? "/" + path[1] : "") +
                       (path.size() > 2 ? "/" + path[2] : ""));
        } else if (subtable) {
            read_resource_table(image, root, target & 0x7fffffffU, path, budget, leaves);
        } else {
            const std::string data = "the resource data entry of " + path[0] + "/" + path[1] + "/" + path[2];
            leaves.push_back({path[0], path[1], path[2], image.read_rva(root + target, 4, data),
                              image.read_rva(root + target + 4, 4, data)});
        }
        path.pop_back();
    }
}

void read_tables(Image &image, PeImage &result)
{
    if (image.read(0, 2, "the MZ header") != 0x5a4dU) {
        image.fail("not a PE file: it does not start with \"MZ\"");
        return;
    }
    const std::uint64_t pe = image.read(0x3c, 4, "the MZ header");
    if (image.read(pe, 4, "the PE signature") != 0x4550U) {
        image.fail("not a PE file: no PE signature at offset " + hex(pe));
        return;
    }
    const std::uint64_t coff = pe + 4;
    result.machine = static_cast<std::uint16_t>(image.read(coff, 2, "the COFF header"));
    const std::uint64_t sections = image.read(coff + 2, 2, "the COFF header");
    const std::uint64_t optional_size = image.read(coff + 16, 2, "the COFF header");
    const std::uint64_t optional = coff + 20;
    const std::uint64_t magic = image.read(optional, 2, "the optional header");
    if (magic != 0x10bU && magic != 0x20bU) {
        image.fail("not a PE image: optional header magic " + hex(magic));
        return;
    }
    const bool plus = magic == 0x20bU;
    const unsigned width = plus ? 8 : 4;
    const std::uint64_t image_base = image.read(optional + (plus ? 24 : 28), width, "the optional header");
    image.set_headers(image.read(optional + 60, 4, "the optional header"));
    const std::uint64_t directories = plus ? 112 : 96;
    const std::uint64_t count = image.read(optional + directories - 4, 4, "the optional header");
    if (sections > kMaxSections) {
        image.fail("not a valid PE image: " + std::to_string(sections) + " sections, more than " +
                   std::to_string(kMaxSections));
    }
    if (image.failed()) {
        return;
    }
    std::uint64_t budget = kMaxImports;

    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t header = optional + optional_size + i * 40;
        image.add_section({static_cast<std::uint32_t>(image.read(header + 12, 4, "the section table")),
                           static_cast<std::uint32_t>(image.read(header + 16, 4, "the section table")),
                           static_cast<std::uint32_t>(image.read(header + 20, 4, "the section table"))});
    }
    // Data directory index's RVA; 0 where it is not set, or where the
    // header has no room for it.
    const auto directory = [&](std::uint64_t index) {
        std::uint64_t rva = 0;
        if (index < count && directories + 8 * (index + 1) <= optional_size) {
            rva = image.read(optional + directories + 8 * index, 4, "the data directory table");
        }
        return rva;
    };

    // The modules of the directory at rva: descriptors of size bytes each,
    // up to one that names no DLL or no table of functions, as the loader
    // reads them.  read_descriptor gives where a descriptor's name and table
    // lie.
    const auto read_directory = [&](std::uint64_t rva, std::uint64_t size, bool delay_loaded,
                                    const std::string &kind, auto read_descriptor) {
        for (std::uint64_t i = 0; rva != 0 && !image.failed(); ++i) {
            if (i == kMaxModules) {
                image.fail("the " + kind + " directory has no end within " + std::to_string(kMaxModules) + " DLLs");
                return;
            }
            const std::string what = kind + " descriptor " + std::to_string(i);
            const Tables tables = read_descriptor(rva + i * size, what);
            if (tables.name == 0 || tables.functions == 0 || image.failed()) {
                return;
            }
            const std::string dll = image.name_at(tables.name, "the name of " + what);
            result.modules.push_back({dll, delay_loaded, read_thunks(image, tables.functions, width, dll, budget)});
        }
    };

    // Import descriptors: the lookup table, or where there is none the
    // address table, which holds the same before the image is bound; the
    // loader stops at a descriptor without an address table.
    read_directory(directory(1), 20, false, "import", [&](std::uint64_t descriptor, const std::string &what) {
        const std::uint64_t lookup = image.read_rva(descriptor, 4, what);
        const std::uint64_t name = image.read_rva(descriptor + 12, 4, what);
        const std::uint64_t addresses = image.read_rva(descriptor + 16, 4, what);
        if (addresses == 0) {
            return Tables{name, 0};
        }
        return Tables{name, lookup != 0 ? lookup : addresses};
    });

    // Delay-load descriptors: old images give addresses (attribute bit 0
    // clear), not RVAs.
    read_directory(directory(13), 32, true, "delay-load", [&](std::uint64_t descriptor, const std::string &what) {
        const bool relative = (image.read_rva(descriptor, 4, what) & 1U) != 0;
        Tables tables{image.read_rva(descriptor + 4, 4, what), image.read_rva(descriptor + 16, 4, what)};
        if (!relative && tables.name != 0 && tables.functions != 0) {
            if (tables.name < image_base || tables.functions < image_base) {
                image.fail(what + " gives an address below the image base");
            }
            tables.name -= image_base;
            tables.functions -= image_base;
        }
        return tables;
    });

    read_exports(image, directory(0), result);

    // The resources: every leaf, and the data of the first version
    // resource (type 16) and the first manifest (type 24).
    const std::uint64_t resources = directory(2);
    std::vector<std::string> path;
    std::uint64_t entries = kMaxResources;
    if (resources != 0 && !image.failed()) {
        read_resource_table(image, resources, 0, path, entries, result.resources);
    }
    for (const char *type : {"16", "24"}) {
        const auto leaf = std::find_if(result.resources.begin(), result.resources.end(),
                                       [type](const PeResource &resource) { return resource.type == type; });
        if (leaf != result.resources.end() && !image.failed()) {
            const std::vector<unsigned char> data = image.bytes_at(leaf->rva, leaf->size, "resource " + leaf->type + "/" + leaf->name + "/" + leaf->language);
            (type[0] == '1' ? result.version : result.manifest).assign(data.begin(), data.end());
        }
    }
}

}  // namespace

std::string read_pe_image(const unsigned char *data, std::size_t size, PeImage &image)
{
    image = PeImage{};
    Image reader(data, size);
    read_tables(reader, image);
    if (reader.failed()) {
        image = PeImage{};
    }
    return reader.error();
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
        return std::make_pair(utf8(units), at + 2);
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

std::vector<PeAssembly> read_manifest(const std::string &xml)
{
    std::vector<PeAssembly> assemblies;
    bool dependent = false;  // inside a <dependentAssembly>
    for (std::size_t open = xml.find('<'); open != std::string::npos; open = xml.find('<', open + 1)) {
        const std::size_t close = xml.find('>', open);
        const std::string tag = xml.substr(open + 1, close == std::string::npos ? close : close - open - 1);
        // Whether the tag ends an element, and the element's local name,
        // past any prefix.
        const bool ends = tag.compare(0, 1, "/") == 0;
        const std::string element = tag.substr(ends ? 1 : 0, tag.find_first_of(" \t\r\n/>", 1) - (ends ? 1 : 0));
        const std::string local = element.substr(element.find(':') == std::string::npos ? 0 : element.find(':') + 1);
        if (local == "dependentAssembly") {
            dependent = !ends;
        } else if (local == "assemblyIdentity" && dependent) {
            const auto attribute = [&](const std::string &key) {
                for (std::size_t at = tag.find(key + "="); at != std::string::npos; at = tag.find(key + "=", at + 1)) {
                    const std::size_t quote = at + key.size() + 1;
                    if ((at == 0 || tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n' ||
                         tag[at - 1] == '\r') && quote < tag.size() && (tag[quote] == '"' || tag[quote] == '\'')) {
                        const std::size_t end = tag.find(tag[quote], quote + 1);
                        return tag.substr(quote + 1, end == std::string::npos ? end : end - quote - 1);
                    }
                }
                return std::string();
            };
            assemblies.push_back({attribute("name"), attribute("version"), attribute("processorArchitecture")});
        }
    }
    return assemblies;
}

std::string hex(std::uint64_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

}  // namespace kivvm_tool
