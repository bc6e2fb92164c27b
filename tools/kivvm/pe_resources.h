// SPDX-License-Identifier: MIT
// What the data of two resources say: a version resource (VS_VERSIONINFO)
// and a manifest's side-by-side bindings.  Any bytes may be given.
#ifndef KIVVM_TOOL_PE_RESOURCES_H
#define KIVVM_TOOL_PE_RESOURCES_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kivvm_tool {

// Text in UTF-16 units as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const std::vector<std::uint32_t> &units);

// The facts of a version resource's data: the file and product versions of
// its fixed part ("1.0.0.0"; empty without one), and the strings of one
// string table, in order ("ProductName", ...): U.S. English in Unicode
// (040904B0) where there is one, else the first.  What does not fit its
// block is left out.
struct PeVersion {
    std::string file_version, product_version;
    std::vector<std::pair<std::string, std::string>> strings;
};
PeVersion read_version(const std::string &data);

// The side-by-side assemblies a manifest binds: each <assemblyIdentity> of
// a <dependentAssembly>, with or without a namespace prefix, read as an XML
// parser reads it (comments, CDATA and processing instructions skipped,
// entities decoded, a manifest in UTF-16 too).  Each attribute is empty
// where the manifest gives none.
struct PeAssembly {
    std::string name, version, architecture, public_key_token;
};
std::vector<PeAssembly> read_manifest(const std::string &xml);

}  // namespace kivvm_tool

#endif
