#include "core/tracking/TrackLock.h"

#include "core/records/FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace kaldrani::tracking {

std::filesystem::path TrackLock::pathOf(const records::DataFolder& folder)
{
    return folder.root() / "track.lock";
}

int TrackLock::lock(const records::DataFolder& folder, bool wait)
{
    const std::filesystem::path path = pathOf(folder);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        throw records::fileio::cannotOpen(path, errno);
    for (;;) {
        if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0)
            return fd;
        const int error = errno;
        if (error == EINTR)
            continue;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return -1;
        throw records::fileio::cannotOpen(path, error);
    }
}

TrackLock::TrackLock(const records::DataFolder& folder) : m_fd(lock(folder, true)) { }

std::optional<TrackLock> TrackLock::tryTake(const records::DataFolder& folder)
{
    const int fd = lock(folder, false);
    if (fd < 0)
        return std::nullopt;
    return TrackLock(fd);
}

TrackLock& TrackLock::operator=(TrackLock&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

TrackLock::~TrackLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kaldrani::tracking
