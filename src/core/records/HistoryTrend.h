#pragma once

#include "core/model/SearchEngine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// One figure of one record: its query time (milliseconds since the epoch, the stored local
// time) and its value.
struct TrendPoint {
    std::int64_t msecs = 0;
    double value = 0;
    bool operator==(const TrendPoint&) const = default;
};

// A site's history as curves, oldest point first. A figure that is no number (a failure
// text, "约1000", leftover markup) or whose record has no readable time is not drawn but
// counted in its chart's skipped figure; so is an Alexa or ChinaRank below 1, which is a
// failure value and no rank.
struct HistoryTrend {
    PerEngine<std::vector<TrendPoint>> indexed;
    PerEngine<std::vector<TrendPoint>> backlinks;
    std::vector<TrendPoint> pageRank;
    std::vector<TrendPoint> sogouRating;
    std::vector<TrendPoint> alexaRank;
    std::vector<TrendPoint> chinaRank;
    int skippedIndexed = 0;
    int skippedBacklinks = 0;
    int skippedRanks = 0; // PageRank, Sogou rating, Alexa and ChinaRank together
};

// The number a stored figure stands for: decimal digits, optionally grouped by commas,
// blanks around allowed. Returns nothing for any other text.
std::optional<double> trendNumber(std::string_view text);

// The curves of records as ReadHistory returns them (newest first).
HistoryTrend buildHistoryTrend(const std::vector<std::vector<std::string>>& records);

} // namespace kaldrani::records
