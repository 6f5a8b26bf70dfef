#include "core/tracking/TrackLock.h"

#include "core/records/FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace kaldrani::tracking {

std::filesystem::path TrackLock::pathOf(const records::DataFolder& folder)
{
    return folder.root() / "track.lock";
}

TrackLock::TrackLock(const records::DataFolder& folder, Wait wait)
{
    const std::filesystem::path path = pathOf(folder);
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_fd < 0)
        throw records::fileio::cannotOpen(path, errno);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | (wait == Wait::No ? LOCK_NB : 0)) == 0)
            return;
        const int error = errno;
        if (error == EINTR)
            continue;
        ::close(m_fd);
        m_fd = -1;
        if (error == EWOULDBLOCK)
            throw std::runtime_error("another track run of this data folder is in progress");
        throw records::fileio::cannotOpen(path, error);
    }
}

TrackLock::~TrackLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kaldrani::tracking
