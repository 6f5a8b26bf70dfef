#pragma once

#include "core/records/DataFolder.h"

#include <filesystem>
#include <optional>
#include <utility>

namespace kaldrani::tracking {

// The one track run of a data folder at a time: an exclusive lock on base/vemro/track.lock,
// held while the object lives and dropped by the system if the process dies.
class TrackLock {
public:
    // Takes the lock, waiting for a running track to end. Raises records::FileError when
    // the lock file cannot be opened or locked.
    explicit TrackLock(const records::DataFolder& folder);
    // Takes the lock unless a track run holds it: then an empty optional. Raises
    // records::FileError as the constructor does.
    static std::optional<TrackLock> tryTake(const records::DataFolder& folder);
    ~TrackLock();
    TrackLock(TrackLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) { }
    TrackLock(const TrackLock&) = delete;
    TrackLock& operator=(const TrackLock&) = delete;
    TrackLock& operator=(TrackLock&& other) noexcept;

    // base/vemro/track.lock
    static std::filesystem::path pathOf(const records::DataFolder& folder);

private:
    explicit TrackLock(int fd) : m_fd(fd) { }
    // The locked descriptor, or -1 when wait is false and a run holds the lock.
    static int lock(const records::DataFolder& folder, bool wait);

    int m_fd = -1;
};

} // namespace kaldrani::tracking
