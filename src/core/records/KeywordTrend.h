#pragma once

#include "core/model/SearchEngine.h"
#include "core/records/HistoryTrend.h"
#include "core/records/KeywordHistory.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// One keyword's history as curves, oldest first, per engine: the runs of positions (a
// new run starts after each scan that found no position, so a curve never bridges one),
// and apart from them the times of scans that did not find the site in their pages and
// of scans that failed. Times are milliseconds since the epoch.
struct KeywordTrend {
    PerEngine<std::vector<std::vector<TrendPoint>>> positions;
    PerEngine<std::vector<std::int64_t>> notFound;
    PerEngine<std::vector<std::int64_t>> failed;
};

// The distinct keywords of the records, in the order they first appear.
std::vector<std::string> keywordsOf(const std::vector<KeywordRecord>& records);

// The curves of keyword among records (oldest first, as readKeywordHistory gives them).
// An engine not asked in a scan is passed over; so is a record whose time is unreadable.
KeywordTrend buildKeywordTrend(const std::vector<KeywordRecord>& records, std::string_view keyword);

// keyword's records as CSV in UTF-8 with CR LF line ends, like the history's: a header
// row (time, keyword, pages, then the engines named by engineLabels), then one row per
// record in the given order: the time as stored (ISO 8601), the keyword, "FIRST-LAST",
// and per engine the position, "未找到", "未选择", "查询失败：" and the reason, or nothing
// where the record does not name the engine. Every cell goes through spreadsheetSafe.
std::string keywordHistoryCsv(const std::vector<KeywordRecord>& records, std::string_view keyword,
                              const PerEngine<std::string_view>& engineLabels);

} // namespace kaldrani::records
