#include "core/records/FileStamp.h"

#include <sys/stat.h>

namespace kaldrani::records {

FileStamp stampOf(const std::filesystem::path& file) noexcept
{
    struct stat info{};
    if (::stat(file.c_str(), &info) != 0)
        return {};
    return {true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<std::int64_t>(info.st_size)};
}

bool FileWatch::changed()
{
    const FileStamp now = stampOf(m_file);
    const bool differs = !m_seen || now != m_last;
    m_seen = true;
    m_last = now;
    return differs;
}

} // namespace kaldrani::records
