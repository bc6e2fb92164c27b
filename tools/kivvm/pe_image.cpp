// SPDX-License-Identifier: MIT
#include "pe_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <sstream>
#include <string>

#include "pe_resources.h"

namespace kivvm_tool {

bool MemoryBytes::read(std::uint64_t offset, unsigned char *out, std::size_t n) const
{
    if (offset > size_ || n > size_ - offset) {
        return false;
    }
    std::memcpy(out, data_ + offset, n);
    return true;
}

std::string hex(std::uint64_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

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
// How much of a resource's data is kept: a version resource says its
// length in 16 bits; a manifest is a few KiB.
constexpr std::uint64_t kMaxVersion = 65536;
constexpr std::uint64_t kMaxManifest = 1 << 20;

// The image's bytes, read a page at a time where the reader asks for them
// and kept in a few pages, with the reader's place: where the sections lie,
// and what is wrong with the image (the first failed read says).
class Image {
public:
    explicit Image(const ByteSource &bytes) : bytes_(bytes), size_(bytes.size()), pages_(kPages) {}

    const std::string &error() const { return error_; }
    bool failed() const { return !error_.empty(); }
    void fail(const std::string &error) const
    {
        if (error_.empty()) {
            error_ = error;
        }
    }
    // Whether the first failure was a read of the file, not what it holds.
    bool unreadable() const { return unreadable_; }
    void cannot_read() const
    {
        unreadable_ = unreadable_ || !failed();
        fail("cannot read it: " + bytes_.error());
    }

    // Little-endian integers at a file offset, which must lie in the file.
    // A failed read gives 0.
    std::uint64_t read(std::uint64_t offset, unsigned bytes, const std::string &what) const
    {
        if (offset > size_ || bytes > size_ - offset) {
            fail("truncated: " + what + " ends past the end of the file");
            return 0;
        }
        std::uint64_t value = 0;
        for (unsigned i = bytes; i-- > 0;) {
            value = value << 8U | byte(offset + i);
        }
        return value;
    }

    void add_section(PeSection section) { sections_.push_back(section); }
    const std::vector<PeSection> &sections() const { return sections_; }
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
        for (const PeSection &section : sections_) {
            if (rva >= section.address && rva - section.address < section.raw_size) {
                return within(section.raw_offset + (rva - section.address),
                              static_cast<std::uint64_t>(section.raw_offset) + section.raw_size);
            }
        }
        return {0, 0, false};
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

    // The first keep of the bytes at rva, which must all lie in one
    // section (or the headers) and the file.
    std::string bytes_at(std::uint64_t rva, std::uint64_t bytes, std::uint64_t keep, const std::string &what) const
    {
        const std::uint64_t offset = offset_of(rva, bytes, what);
        std::string data(failed() ? 0 : std::min(bytes, keep), '\0');
        if (!data.empty() && !bytes_.read(offset, reinterpret_cast<unsigned char *>(&data[0]), data.size())) {
            cannot_read();
        }
        return data;
    }

    std::string name_at(std::uint64_t rva, const std::string &what) const
    {
        const Place place = locate(rva);
        std::string name;
        for (std::uint64_t i = 0; i < place.available && name.size() < kMaxName && !failed(); ++i) {
            const unsigned char c = byte(place.offset + i);
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
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kPages = 16;
    struct Page {
        std::uint64_t index = ~std::uint64_t{0};
        std::array<unsigned char, kPageSize> data{};
    };

    // The byte at an offset within the file, through the page that holds it.
    unsigned char byte(std::uint64_t offset) const
    {
        const std::uint64_t index = offset / kPageSize;
        Page &page = pages_[index % kPages];
        if (page.index != index) {
            const std::uint64_t start = index * kPageSize;
            if (!bytes_.read(start, page.data.data(), std::min<std::uint64_t>(kPageSize, size_ - start))) {
                cannot_read();
                return 0;
            }
            page.index = index;
        }
        return page.data[offset % kPageSize];
    }

    Place within(std::uint64_t offset, std::uint64_t end) const
    {
        const bool cut = end > size_;
        end = std::min<std::uint64_t>(end, size_);
        return {offset, offset < end ? end - offset : 0, cut};
    }

    const ByteSource &bytes_;
    std::uint64_t size_;
    mutable std::vector<Page> pages_;
    std::vector<PeSection> sections_;
    std::uint64_t headers_ = 0;
    mutable std::string error_;
    mutable bool unreadable_ = false;
};

// The functions of one module, from its name (or lookup) table: one entry of
// width bytes each, ending with zero; the top bit marks an ordinal.  An old
// delay-load table gives addresses: base is what to take from them.
std::vector<PeImport> read_thunks(const Image &image, std::uint64_t table, unsigned width, std::uint64_t base,
                                  const std::string &dll, std::uint64_t &budget)
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
            continue;
        }
        if (entry < base) {
            image.fail("an import of " + dll + " gives an address below the image base");
            return imports;
        }
        // A hint of two bytes, then the name.
        const std::string name = image.name_at(((entry - base) & 0x7fffffffU) + 2, "an imported name from " + dll);
        if (name.empty()) {
            image.fail("an import from " + dll + " has an empty name");
            return imports;
        }
        imports.push_back({name, {}});
    }
    image.fail("the imports have no end within " + std::to_string(kMaxImports) + " functions");
    return imports;
}

// A delay-load descriptor's tables (RVAs): its DLL's name and its import
// name table.  Old descriptors (attribute bit 0 clear) give addresses, as
// every entry of their name table does: base is what to take from them.
struct DelayTables {
    std::uint64_t name, functions, base;
};

DelayTables read_delay_descriptor(const Image &image, std::uint64_t descriptor, std::uint64_t image_base,
                                  const std::string &what)
{
    const bool relative = (image.read_rva(descriptor, 4, what) & 1U) != 0;
    DelayTables tables{image.read_rva(descriptor + 4, 4, what), image.read_rva(descriptor + 16, 4, what),
                       relative ? 0 : image_base};
    if (tables.name != 0 && tables.functions != 0) {
        if (tables.name < tables.base || tables.functions < tables.base) {
            image.fail(what + " gives an address below the image base");
        }
        tables.name -= tables.base;
        tables.functions -= tables.base;
    }
    return tables;
}

// The export directory at rva (size bytes, within which an export's address
// is a forwarder's text): the DLL's name, and each function's ordinal with
// its name where it has one; an address table entry of 0 exports nothing.
void read_exports(const Image &image, std::uint64_t rva, std::uint64_t size, PeImage &result)
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
    // Where the function at an index goes: 0 for none, else its address.
    const auto address = [&](std::uint64_t index) {
        return image.read_rva(addresses + 4 * index, 4, "the export address table");
    };
    const auto forward = [&](std::uint64_t at) {
        return at >= rva && at - rva < size ? image.name_at(at, "a forwarder") : std::string();
    };
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
            result.exports.push_back({function, base + index, forward(address(index))});
        }
    }
    for (std::uint64_t i = 0; i < named.size() && !image.failed(); ++i) {
        const std::uint64_t at = named[i] ? 0 : address(i);
        if (at != 0) {
            result.exports.push_back({"", base + i, forward(at)});
        }
    }
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
            name = utf16_to_utf8(units);
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

// The headers: the machine, whether it is a DLL, the sections; then where
// each data directory lies.
struct Headers {
    bool wide;  // PE32+: addresses of 64 bits
    std::uint64_t image_base;
    std::array<std::pair<std::uint64_t, std::uint64_t>, 16> directories;  // RVA and size; 0 where unset
};

Headers read_headers(Image &image, PeImage &result)
{
    Headers headers{};
    if (image.read(0, 2, "the MZ header") != 0x5a4dU) {
        image.fail("not a PE file: it does not start with \"MZ\"");
        return headers;
    }
    const std::uint64_t pe = image.read(0x3c, 4, "the MZ header");
    if (image.read(pe, 4, "the PE signature") != 0x4550U) {
        image.fail("not a PE file: no PE signature at offset " + hex(pe));
        return headers;
    }
    const std::uint64_t coff = pe + 4;
    result.machine = static_cast<std::uint16_t>(image.read(coff, 2, "the COFF header"));
    const std::uint64_t sections = image.read(coff + 2, 2, "the COFF header");
    const std::uint64_t optional_size = image.read(coff + 16, 2, "the COFF header");
    result.dll = (image.read(coff + 18, 2, "the COFF header") & 0x2000U) != 0;
    const std::uint64_t optional = coff + 20;
    const std::uint64_t magic = image.read(optional, 2, "the optional header");
    if (magic != 0x10bU && magic != 0x20bU) {
        image.fail("not a PE image: optional header magic " + hex(magic));
        return headers;
    }
    headers.wide = magic == 0x20bU;
    headers.image_base = image.read(optional + (headers.wide ? 24 : 28), headers.wide ? 8 : 4, "the optional header");
    image.set_headers(image.read(optional + 60, 4, "the optional header"));
    const std::uint64_t directories = headers.wide ? 112 : 96;
    const std::uint64_t count = image.read(optional + directories - 4, 4, "the optional header");
    if (sections > kMaxSections) {
        image.fail("not a valid PE image: " + std::to_string(sections) + " sections, more than " +
                   std::to_string(kMaxSections));
    }
    for (std::uint64_t i = 0; i < sections && !image.failed(); ++i) {
        const std::uint64_t header = optional + optional_size + i * 40;
        image.add_section({static_cast<std::uint32_t>(image.read(header + 12, 4, "the section table")),
                           static_cast<std::uint32_t>(image.read(header + 16, 4, "the section table")),
                           static_cast<std::uint32_t>(image.read(header + 20, 4, "the section table"))});
    }
    // As many as the header counts and has room for.
    for (std::uint64_t i = 0; i < headers.directories.size() && !image.failed(); ++i) {
        if (i < count && directories + 8 * (i + 1) <= optional_size) {
            headers.directories[i] = {image.read(optional + directories + 8 * i, 4, "the data directory table"),
                                      image.read(optional + directories + 8 * i + 4, 4, "the data directory table")};
        }
    }
    return headers;
}

void read_tables(Image &image, PeImage &result)
{
    const Headers headers = read_headers(image, result);
    if (image.failed()) {
        return;
    }
    const unsigned width = headers.wide ? 8 : 4;
    std::uint64_t budget = kMaxImports;

    // The modules of the directory at rva: descriptors of size bytes each,
    // up to one that names no DLL or no table of functions, as the loader
    // reads them.  read_descriptor gives where a descriptor's name and table
    // lie, and the base to take from the table's entries.
    const auto read_directory = [&](std::uint64_t rva, std::uint64_t size, bool delay_loaded,
                                    const std::string &kind, auto read_descriptor) {
        for (std::uint64_t i = 0; rva != 0 && !image.failed(); ++i) {
            if (i == kMaxModules) {
                image.fail("the " + kind + " directory has no end within " + std::to_string(kMaxModules) + " DLLs");
                return;
            }
            const std::string what = kind + " descriptor " + std::to_string(i);
            const DelayTables tables = read_descriptor(rva + i * size, what);
            if (tables.name == 0 || tables.functions == 0 || image.failed()) {
                return;
            }
            const std::string dll = image.name_at(tables.name, "the name of " + what);
            result.modules.push_back(
                {dll, delay_loaded, read_thunks(image, tables.functions, width, tables.base, dll, budget)});
        }
    };

    // Import descriptors: the lookup table, or where there is none the
    // address table, which holds the same before the image is bound; the
    // loader stops at a descriptor without an address table.
    read_directory(headers.directories[1].first, 20, false, "import",
                   [&](std::uint64_t descriptor, const std::string &what) {
                       const std::uint64_t lookup = image.read_rva(descriptor, 4, what);
                       const std::uint64_t name = image.read_rva(descriptor + 12, 4, what);
                       const std::uint64_t addresses = image.read_rva(descriptor + 16, 4, what);
                       return DelayTables{name, addresses == 0 ? 0 : lookup != 0 ? lookup : addresses, 0};
                   });
    read_directory(headers.directories[13].first, 32, true, "delay-load",
                   [&](std::uint64_t descriptor, const std::string &what) {
                       return read_delay_descriptor(image, descriptor, headers.image_base, what);
                   });

    read_exports(image, headers.directories[0].first, headers.directories[0].second, result);

    // The resources: every leaf, and the data of the first version
    // resource (type 16) and the first manifest (type 24).
    const std::uint64_t resources = headers.directories[2].first;
    std::vector<std::string> path;
    std::uint64_t entries = kMaxResources;
    if (resources != 0 && !image.failed()) {
        read_resource_table(image, resources, 0, path, entries, result.resources);
    }
    for (const char *type : {"16", "24"}) {
        const auto leaf = std::find_if(result.resources.begin(), result.resources.end(),
                                       [type](const PeResource &resource) { return resource.type == type; });
        if (leaf == result.resources.end() || image.failed()) {
            continue;
        }
        const bool version = type[0] == '1';
        (version ? result.version : result.manifest) =
            image.bytes_at(leaf->rva, leaf->size, version ? kMaxVersion : kMaxManifest,
                           "resource " + leaf->type + "/" + leaf->name + "/" + leaf->language);
        if (!version) {
            result.manifest_name = leaf->name;
        }
    }
    result.sections = image.sections();
    result.wide = headers.wide;
    result.image_base = headers.image_base;
}

}  // namespace

std::string read_pe_image(const ByteSource &bytes, PeImage &image)
{
    image = PeImage{};
    Image reader(bytes);
    read_tables(reader, image);
    if (reader.failed()) {
        image = PeImage{};
    }
    return reader.error();
}

std::string add_unlisted_delay_loads(const ByteSource &bytes, std::uint64_t name_offset, PeImage &image)
{
    // The name, as a C string; none to look for where a table lists it.
    std::string dll(std::min<std::uint64_t>(kMaxName, bytes.size() - std::min(bytes.size(), name_offset)), '\0');
    const std::string unreadable = "cannot read it: ";
    if (dll.empty()) {
        return "";
    }
    if (!bytes.read(name_offset, reinterpret_cast<unsigned char *>(&dll[0]), dll.size())) {
        return unreadable + bytes.error();
    }
    dll.resize(dll.find('\0') == std::string::npos ? 0 : dll.find('\0'));
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    if (dll.empty() || std::any_of(image.modules.begin(), image.modules.end(), [&](const PeModule &module) {
            return std::equal(module.dll.begin(), module.dll.end(), dll.begin(), dll.end(), same);
        })) {
        return "";
    }
    // Where the name lies in memory: a GNU ld descriptor gives its RVA
    // after the attributes, which are 1 (RVAs, not addresses).
    std::uint64_t rva = 0;
    for (const PeSection &section : image.sections) {
        if (name_offset >= section.raw_offset && name_offset - section.raw_offset < section.raw_size) {
            rva = section.address + (name_offset - section.raw_offset);
        }
    }
    if (rva == 0 || rva > 0xffffffffU) {
        return "";
    }
    const unsigned char pattern[8] = {1, 0, 0, 0, static_cast<unsigned char>(rva), static_cast<unsigned char>(rva >> 8U),
                                      static_cast<unsigned char>(rva >> 16U), static_cast<unsigned char>(rva >> 24U)};
    // The file in chunks that overlap by a pattern's length, up to a few
    // descriptors; each is read as the delay-load directory's are, and left
    // out if it cannot be.
    constexpr std::size_t kChunk = std::size_t{1} << 20U;
    constexpr std::size_t kMaxFound = 16;
    std::vector<unsigned char> chunk(kChunk + sizeof pattern);
    std::vector<std::uint64_t> found;
    for (std::uint64_t start = 0; start < bytes.size() && found.size() < kMaxFound; start += kChunk) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes.size() - start));
        if (!bytes.read(start, chunk.data(), n)) {
            return unreadable + bytes.error();
        }
        const unsigned char *end = chunk.data() + n;
        for (const unsigned char *at = chunk.data(); found.size() < kMaxFound && end - at >= 8; ++at) {
            at = static_cast<const unsigned char *>(std::memchr(at, 1, static_cast<std::size_t>(end - at)));
            if (at == nullptr || end - at < 8) {
                break;
            }
            const std::uint64_t offset = start + static_cast<std::uint64_t>(at - chunk.data());
            if (std::memcmp(at, pattern, sizeof pattern) == 0 && std::find(found.begin(), found.end(), offset) == found.end()) {
                found.push_back(offset);
            }
        }
    }
    for (const std::uint64_t offset : found) {
        Image reader(bytes);
        for (const PeSection &section : image.sections) {
            reader.add_section(section);
        }
        std::uint64_t budget = kMaxImports;
        const std::uint64_t functions = reader.read(offset + 16, 4, "a delay-load descriptor");
        const std::vector<PeImport> imports =
            functions == 0 || reader.failed() ? std::vector<PeImport>{}
                                              : read_thunks(reader, functions, image.wide ? 8 : 4, 0, dll, budget);
        if (reader.unreadable()) {
            return reader.error();
        }
        if (!reader.failed() && !imports.empty()) {
            image.modules.push_back({dll, true, imports, true});
        }
    }
    return "";
}

}  // namespace kivvm_tool
