// SPDX-License-Identifier: MIT
// A Windows program or DLL as its PE image shows it: its machine and whether
// it is a DLL; for each DLL it imports from (directly or delay-loaded), the
// functions it imports, by name or by ordinal; the functions it exports,
// and where an export forwards to; its resources, with the data of its
// version resource and of its manifest.  Any bytes may be given: every read
// is checked against their size, every walk of a table is bounded, and only
// the tables are read, where they lie, so that a file of any size takes
// little memory.
#ifndef KIVVM_TOOL_PE_IMAGE_H
#define KIVVM_TOOL_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivvm_tool {

// Bytes that can be read at any offset: a file's, or memory's.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Copies the n bytes at offset into out, which the caller keeps within
    // size().  False, with error() saying why, where they cannot be read.
    virtual bool read(std::uint64_t offset, unsigned char *out, std::size_t n) const = 0;
    virtual std::string error() const = 0;
};

class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const unsigned char *data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    // A read past the end fails: a caller's slip is an error, not a read of
    // whatever lies beyond.
    bool read(std::uint64_t offset, unsigned char *out, std::size_t n) const override;
    std::string error() const override { return "a read past its end"; }

private:
    const unsigned char *data_;
    std::size_t size_;
};

struct PeImport {
    std::string name;       // empty when imported by ordinal
    std::uint16_t ordinal;  // meaningful only when name is empty
};

struct PeModule {
    std::string dll;  // as the image spells it
    bool delay_loaded;
    std::vector<PeImport> imports;
    bool unlisted = false;  // delay-loaded through a descriptor that the
                            // delay-load directory does not list (GNU ld)
};

struct PeExport {
    std::string name;       // empty when exported by ordinal only
    std::uint64_t ordinal;  // the ordinal base plus its index
    std::string forward;    // where it forwards ("other.Name", "other.#3"), or empty
};

// A resource: its type, name and language, each an ID in decimal or a
// name (in UTF-8), and where its data lies.
struct PeResource {
    std::string type, name, language;
    std::uint64_t rva, size;
};

// A section's place in memory and in the file.
struct PeSection {
    std::uint32_t address;  // its RVA
    std::uint32_t raw_size;
    std::uint32_t raw_offset;
};

struct PeImage {
    std::uint16_t machine = 0;  // IMAGE_FILE_MACHINE_*: 0x14c x86, 0x8664 x64
    bool dll = false;           // IMAGE_FILE_DLL: a DLL, not a program
    std::vector<PeModule> modules;
    std::string export_name;            // the DLL's name in its export directory
    std::vector<PeExport> exports;      // named ones in the name table's order, then the others
    std::vector<PeResource> resources;  // in the tree's order
    std::vector<PeSection> sections;
    bool wide = false;  // PE32+: addresses of 64 bits
    std::uint64_t image_base = 0;
    std::string version;   // the data of the first version resource, as it is
    std::string manifest;  // the data of the first manifest resource, as it is
    std::string manifest_name;  // that resource's name: "1" for a program's, "2" for a DLL's
};

// Reads the image in bytes.  Returns an empty string and fills image, or
// says what is wrong with the bytes ("truncated: ...", "not a PE file:
// ...") or why they cannot be read.
std::string read_pe_image(const ByteSource &bytes, PeImage &image);

// GNU ld leaves the delay-load directory empty (dlltool -y): a DLL's
// delay-load descriptor lies among the data.  Given where the image that
// read_pe_image read holds that DLL's name as a C string, finds the
// descriptors that name it there and adds their modules to image, marked
// unlisted; one that is not a descriptor is left out.  Returns an empty
// string, or why the bytes cannot be read.
std::string add_unlisted_delay_loads(const ByteSource &bytes, std::uint64_t name_offset, PeImage &image);

// "0x1c4": how the reader's messages, and check-host, write a number.
std::string hex(std::uint64_t value);

}  // namespace kivvm_tool

#endif
