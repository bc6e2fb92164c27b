// SPDX-License-Identifier: MIT
#include "host_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <dirent.h>
#include <strings.h>
#endif

namespace kivvm_tool {
namespace {

namespace fs = std::filesystem;

// A file's bytes, read where they are asked for.  Only a regular file is
// read: a device or a FIFO has no end, or no place to read again.
class FileBytes final : public ByteSource {
public:
    explicit FileBytes(const std::string &path)
    {
        std::error_code code;
        const fs::file_status status = fs::status(path, code);
        if (!code && !fs::is_regular_file(status)) {
            error_ = std::string("cannot read it: it is ") +
                     (fs::is_directory(status) ? "a directory"
                      : fs::is_fifo(status)    ? "a FIFO"
                      : fs::is_socket(status)  ? "a socket"
                      : fs::is_character_file(status) || fs::is_block_file(status) ? "a device"
                                                                                   : "no regular file") +
                     ", not a file";
            return;
        }
        stream_ = std::fopen(path.c_str(), "rb");
        if (stream_ == nullptr) {
            error_ = std::string("cannot open it: ") + std::strerror(errno);
            return;
        }
        std::setvbuf(stream_, nullptr, _IONBF, 0);  // reads go straight to the buffers given
        size_ = fs::file_size(path, code);
        if (code) {
            error_ = "cannot read it: " + code.message();
        }
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes() override
    {
        if (stream_ != nullptr) {
            std::fclose(stream_);
        }
    }

    std::uint64_t size() const override { return size_; }
    std::string error() const override { return error_; }

    bool read(std::uint64_t offset, unsigned char *out, std::size_t n) const override
    {
#ifdef _WIN32
        const bool placed = _fseeki64(stream_, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
        const bool placed = fseeko(stream_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
        if (placed && std::fread(out, 1, n, stream_) == n) {
            return true;
        }
        error_ = std::ferror(stream_) != 0 ? std::strerror(errno) : "it ended early: it changed while it was read";
        return false;
    }

private:
    std::FILE *stream_ = nullptr;
    std::uint64_t size_ = 0;
    mutable std::string error_;
};

// A FILE as read: its image and its strings, or why it cannot be read.
struct ReadFile {
    std::string file;
    std::string error;
    PeImage image;
    PeStrings strings;
};

ReadFile read_file(const std::string &file, const BuildFacts &facts)
{
    ReadFile read{file, "", {}, {}};
    const FileBytes bytes(file);
    read.error = bytes.error();
    if (read.error.empty()) {
        read.error = read_pe_image(bytes, read.image);
    }
    if (read.error.empty()) {
        read.strings = scan_strings(bytes, facts.dll, facts.prefix);
        read.error = read.strings.error;
    }
    for (const std::uint64_t offset : read.error.empty() ? read.strings.dll_name_at : std::vector<std::uint64_t>{}) {
        read.error = add_unlisted_delay_loads(bytes, offset, read.image);
        if (!read.error.empty()) {
            break;
        }
    }
    return read;
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

// The DLL at path, read and its facts taken.
DllCheck read_dll(const std::string &path, const BuildFacts &facts)
{
    const FileBytes bytes(path);
    PeImage image;
    std::string error = bytes.error();
    if (error.empty()) {
        error = read_pe_image(bytes, image);
    }
    DllCheck dll = error.empty() ? check_dll(path, image, facts) : DllCheck{};
    dll.path = path;
    dll.error = error;
    return dll;
}

// One process of files read: each judged among the others' forwarders,
// its program found, and its DLL read.
std::string check_process(const std::vector<ReadFile> &files, const char *dll, const BuildFacts &facts,
                          ProcessCheck &process)
{
    std::vector<Forwarder> forwarders;
    for (const ReadFile &file : files) {
        if (file.error.empty()) {
            if (std::optional<Forwarder> forwarder = forwarder_of(file.file, file.image, facts)) {
                forwarders.push_back(*forwarder);
            }
        }
    }
    for (const ReadFile &file : files) {
        process.files.push_back(
            {file.file, file.error, file.error.empty() ? check_host(file.image, file.strings, forwarders, facts) : HostCheck{}});
        if (file.error.empty() && !file.image.dll) {
            if (!process.program.empty()) {
                return process.program + " and " + file.file + " are both programs, and a process has one: check "
                       "them apart with --each";
            }
            process.program = file.file;
        }
    }
    process.dll_named = dll != nullptr;
    const std::string path = dll != nullptr ? dll : process.program.empty() ? "" : dll_beside(process.program, facts.dll);
    if (!path.empty()) {
        process.dll = read_dll(path, facts);
    }
    judge_process(process, facts);
    return "";
}

// What tells two names of one file apart from two files: the path with
// links and dots resolved, where it can be.
std::string identity(const std::string &file)
{
    std::error_code code;
    const fs::path path = fs::weakly_canonical(file, code);
    return code ? file : path.string();
}

}  // namespace

std::string check_processes(const std::vector<std::string> &files, const char *dll, bool each,
                            const BuildFacts &facts, std::vector<ProcessCheck> &processes)
{
    processes.clear();
    std::vector<ReadFile> process;  // with each, one file at a time
    std::set<std::string> seen;
    for (const std::string &file : files) {
        if (seen.insert(identity(file)).second) {
            process.push_back(read_file(file, facts));
        }
        if (!process.empty() && (each || &file == &files.back())) {
            processes.emplace_back();
            const std::string error = check_process(process, dll, facts, processes.back());
            if (!error.empty()) {
                return error;
            }
            process.clear();
        }
    }
    return "";
}

}  // namespace kivvm_tool
