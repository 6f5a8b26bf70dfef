#pragma once

#include <cstdint>
#include <filesystem>

namespace kaldrani::records {

// What tells one version of a file from another without reading it: device, inode,
// modification time and size. The crash-safe rewrites put a new inode in place each time,
// so a saved file never keeps its stamp.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t size = 0;

    bool operator==(const FileStamp&) const = default;
};

// The file's stamp; a missing or unreadable file gives one with exists false. Never raises.
FileStamp stampOf(const std::filesystem::path& file) noexcept;

// Says whether a file changed since it was last looked at.
class FileWatch {
public:
    explicit FileWatch(std::filesystem::path file) : m_file(std::move(file)) { }

    // True the first time, and whenever the file's stamp differs from the one seen last;
    // remembers the stamp either way.
    bool changed();

private:
    std::filesystem::path m_file;
    bool m_seen = false;
    FileStamp m_last;
};

} // namespace kaldrani::records
