#pragma once

#include "core/records/DataFolder.h"
#include "core/records/TrackedKeywords.h"
#include "core/tracking/ChangeSummary.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kaldrani::tracking {

// Where a run stands: for a progress line.
struct TrackProgress {
    std::size_t sitesDone = 0;
    std::size_t sites = 0;
    std::size_t queriesDone = 0; // a site's overview and each engine's keyword scan count one each
    std::size_t queries = 0;
    // The host of the query running longest, and since when; empty when none runs.
    std::string waitingFor;
    std::chrono::steady_clock::time_point since{};
};

struct TrackOptions {
    std::vector<std::string> sites; // in the order their lines come out
    int lastPage = 5;               // keywords are scanned on pages 1..lastPage
    std::chrono::milliseconds delay{2000};
    std::chrono::milliseconds maxDelay{60000};
    int jobs = 4;
    Thresholds thresholds;
    // Told each time a query starts or ends, on the thread that started or ended it; must
    // be quick and must not raise.
    std::function<void(const TrackProgress&)> progress;
};

// What a run found: one line per moved figure and per failed query, in site order, then
// overview before keywords, engine order within each.
struct TrackReport {
    std::vector<ChangeLine> lines;

    bool anyFailed() const;
    bool anyMoved() const;
};

// Runs the overview and the scan of each tracked keyword for every site, asking up to
// jobs hosts at once and spacing the requests to each host, and writes both histories of
// each site (a site equal to an item of siteItems) as soon as it and every site before it
// are done. The previous records are read before the run. A site that is no domain name
// gets one failed "overview" line and no queries; a history that cannot be written one
// failed "history" line. Never raises.
TrackReport runTrack(const records::DataFolder& folder, const std::vector<std::string>& siteItems,
                     const std::vector<records::TrackedKeyword>& tracked, const TrackOptions& options,
                     const std::function<std::int64_t()>& now);

} // namespace kaldrani::tracking
