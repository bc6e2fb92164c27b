// SPDX-License-Identifier: MIT
// A Windows program or DLL as its PE image shows it: its machine; for each
// DLL it imports from (directly or delay-loaded), the functions it imports,
// by name or by ordinal; the functions it exports; its resources, with the
// data of its version resource and of its manifest.  Any bytes may be
// given: every read is checked against their size, and every walk of a
// table is bounded.
#ifndef KIVVM_TOOL_PE_IMAGE_H
#define KIVVM_TOOL_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kivvm_tool {

struct PeImport {
    std::string name;       // empty when imported by ordinal
    std::uint16_t ordinal;  // meaningful only when name is empty
};

struct PeModule {
    std::string dll;  // as the image spells it
    bool delay_loaded;
    std::vector<PeImport> imports;
};

struct PeExport {
    std::string name;       // empty when exported by ordinal only
    std::uint64_t ordinal;  // the ordinal base plus its index
};

// A resource: its type, name and language, each an ID in decimal or a
// name (in UTF-8), and where its data lies.
struct PeResource {
    std::string type, name, language;
    std::uint64_t rva, size;
};

struct PeImage {
    std::uint16_t machine;  // IMAGE_FILE_MACHINE_*: 0x14c x86, 0x8664 x64
    std::vector<PeModule> modules;
    std::string export_name;         // the DLL's name in its export directory
    std::vector<PeExport> exports;   // named ones in the name table's order, then the others
    std::vector<PeResource> resources;  // in the tree's order
    std::string version;   // the data of the first version resource, as it is
    std::string manifest;  // the data of the first manifest resource, as it is
};

// Reads the image in data[0, size).  Returns an empty string and fills
// image, or says what is wrong with the bytes ("truncated: ...", "not a PE
// file: ...").
std::string read_pe_image(const unsigned char *data, std::size_t size, PeImage &image);

// The facts of a version resource's data (VS_VERSIONINFO): the file and
// product versions of its fixed part ("1.0.0.0"; empty without one), and
// the strings of one string table, in order ("ProductName", ...): U.S.
// English in Unicode (040904B0) where there is one, else the first.  Any
// bytes may be given: what does not fit its block is left out.
struct PeVersion {
    std::string file_version, product_version;
    std::vector<std::pair<std::string, std::string>> strings;
};
PeVersion read_version(const std::string &data);

// The side-by-side assemblies a manifest binds (each <assemblyIdentity> in
// a <dependentAssembly>, with or without a namespace prefix): name, version
// and processor architecture, each empty where the manifest gives none.
struct PeAssembly {
    std::string name, version, architecture;
};
std::vector<PeAssembly> read_manifest(const std::string &xml);

// "0x1c4": how the reader's messages, and check-host, write a number.
std::string hex(std::uint64_t value);

}  // namespace kivvm_tool

#endif
