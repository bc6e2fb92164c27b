// SPDX-License-Identifier: MIT
#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <dirent.h>
#include <strings.h>
#endif

namespace kivvm_tool {
namespace {

// The whole file, or why not.
std::string read_file(const std::string &file, std::vector<unsigned char> &bytes)
{
    std::FILE *stream = std::fopen(file.c_str(), "rb");
    if (stream == nullptr) {
        return std::string("cannot open it: ") + std::strerror(errno);
    }
    unsigned char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    const int error = std::ferror(stream) != 0 ? errno : 0;
    std::fclose(stream);
    return error != 0 ? std::string("cannot read it: ") + std::strerror(error) : "";
}

// One FILE's check, or why it cannot be read.
HostFile check_file(const std::string &file, const BuildFacts &facts)
{
    HostFile host{file, "", {}};
    std::vector<unsigned char> bytes;
    PeImage image;
    host.error = read_file(file, bytes);
    if (host.error.empty()) {
        host.error = read_pe_image(bytes.data(), bytes.size(), image);
    }
    if (host.error.empty()) {
        host.check = check_host(image, scan_strings(bytes.data(), bytes.size(), facts.dll, facts.prefix), facts);
    }
    return host;
}

// The DLL of that name in the folder of file, in any case, or empty: its
// name as written first, which on Windows' own file systems finds any case;
// elsewhere, then the folder's entries.
std::string dll_beside(const std::string &file, const std::string &dll)
{
#ifdef _WIN32
    const std::size_t slash = file.find_last_of("/\\:");
#else
    const std::size_t slash = file.rfind('/');
#endif
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    std::string path;
    if (std::FILE *stream = std::fopen((folder + dll).c_str(), "rb")) {
        std::fclose(stream);
        path = folder + dll;
    }
#ifndef _WIN32
    DIR *directory = path.empty() ? opendir(folder.empty() ? "." : folder.c_str()) : nullptr;
    for (const dirent *entry = directory != nullptr ? readdir(directory) : nullptr; entry != nullptr && path.empty();
         entry = readdir(directory)) {
        if (strcasecmp(entry->d_name, dll.c_str()) == 0) {
            path = folder + entry->d_name;
        }
    }
    if (directory != nullptr) {
        closedir(directory);
    }
#endif
    return path;
}

// The DLL named, or else the one beside the first file; none with neither.
std::optional<DllCheck> check_dll_file(const char *named, const std::string &first, const BuildFacts &facts)
{
    const std::string path = named != nullptr ? named : dll_beside(first, facts.dll);
    if (path.empty()) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    PeImage image;
    std::string error = read_file(path, bytes);
    if (error.empty()) {
        error = read_pe_image(bytes.data(), bytes.size(), image);
    }
    DllCheck dll;
    if (error.empty()) {
        dll = check_dll(path, image, facts);
    }
    dll.path = path;
    dll.beside = named == nullptr;
    dll.error = error;
    return dll;
}

}  // namespace

std::vector<CheckedProcess> check_processes(const std::vector<std::string> &files, const char *dll, bool each,
                                            const BuildFacts &facts)
{
    std::vector<CheckedProcess> processes(each ? files.size() : 1);
    for (std::size_t i = 0; i < files.size(); ++i) {
        processes[each ? i : 0].files.push_back(check_file(files[i], facts));
    }
    for (CheckedProcess &process : processes) {
        process.dll = check_dll_file(dll, process.files[0].file, facts);
        process.verdict = judge_process(process.files, facts, process.dll ? &*process.dll : nullptr);
    }
    return processes;
}

}  // namespace kivvm_tool
