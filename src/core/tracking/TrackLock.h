#pragma once

#include "core/records/DataFolder.h"

#include <filesystem>

namespace kaldrani::tracking {

// The one track run of a data folder at a time: an exclusive lock on base/vemro/track.lock,
// held while the object lives and dropped by the system if the process dies.
class TrackLock {
public:
    enum class Wait { Yes, No };

    // Takes the lock, waiting for a running track when wait says so. Raises
    // records::FileError when the lock file cannot be opened; with Wait::No, std::runtime_error
    // "another track run is in progress" when it is held.
    TrackLock(const records::DataFolder& folder, Wait wait);
    ~TrackLock();
    TrackLock(const TrackLock&) = delete;
    TrackLock& operator=(const TrackLock&) = delete;

    // base/vemro/track.lock
    static std::filesystem::path pathOf(const records::DataFolder& folder);

private:
    int m_fd = -1;
};

} // namespace kaldrani::tracking
