#include "core/records/HistoryTrend.h"

#include "core/records/HistoryEntry.h"
#include "core/text/Ascii.h"

#include <algorithm>
#include <ctime>

namespace kaldrani::records {

namespace {

constexpr size_t kMaxDigits = 15; // every such integer is exact in a double

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Adds the figure's point, or counts it as skipped.
void addPoint(std::vector<TrendPoint>& series, int& skipped, const std::optional<std::int64_t>& msecs,
              const std::string& text, double minimum = 0)
{
    const auto value = trendNumber(text);
    if (!msecs || !value || *value < minimum) {
        ++skipped;
        return;
    }
    series.push_back({*msecs, *value});
}

void sortByTime(std::vector<TrendPoint>& series)
{
    std::stable_sort(series.begin(), series.end(),
                     [](const TrendPoint& a, const TrendPoint& b) { return a.msecs < b.msecs; });
}

} // namespace

std::optional<double> trendNumber(std::string_view text)
{
    text = text::trimView(text);
    if (text.empty() || !isDigit(text.front()) || !isDigit(text.back()))
        return std::nullopt;
    double value = 0;
    size_t digits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') {
            // A separator stands between digits, alone.
            if (!isDigit(text[i - 1]) || !isDigit(text[i + 1]))
                return std::nullopt;
            continue;
        }
        if (!isDigit(c) || ++digits > kMaxDigits)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

HistoryTrend buildHistoryTrend(const std::vector<std::vector<std::string>>& records)
{
    HistoryTrend trend;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const auto entry = readHistoryEntry(*it);
        if (!entry)
            continue;
        std::optional<std::int64_t> msecs;
        if (auto t = parseQueryTime(entry->queryTime)) {
            const std::time_t seconds = std::mktime(&*t);
            if (seconds != static_cast<std::time_t>(-1))
                msecs = static_cast<std::int64_t>(seconds) * 1000;
        }
        const HistoryFields& f = entry->fields;
        for (size_t i = 0; i < f.indexed.size(); ++i) {
            addPoint(trend.indexed[i], trend.skippedIndexed, msecs, f.indexed[i]);
            addPoint(trend.backlinks[i], trend.skippedBacklinks, msecs, f.backlinks[i]);
        }
        addPoint(trend.pageRank, trend.skippedRanks, msecs, f.pageRank);
        addPoint(trend.sogouRating, trend.skippedRanks, msecs, f.sogouRating);
        addPoint(trend.alexaRank, trend.skippedRanks, msecs, f.alexaRank, 1);
        addPoint(trend.chinaRank, trend.skippedRanks, msecs, f.chinaRank, 1);
    }
    for (size_t i = 0; i < trend.indexed.size(); ++i) {
        sortByTime(trend.indexed[i]);
        sortByTime(trend.backlinks[i]);
    }
    for (auto* series : {&trend.pageRank, &trend.sogouRating, &trend.alexaRank, &trend.chinaRank})
        sortByTime(*series);
    return trend;
}

} // namespace kaldrani::records
