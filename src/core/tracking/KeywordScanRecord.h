#pragma once

#include "core/queries/KeywordRun.h"
#include "core/records/DataFolder.h"
#include "core/records/KeywordHistory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kaldrani::tracking {

// What one engine's scan gave, as the keyword history keeps it: "not selected" when the
// engine was not asked, else the outcome's position, not found, refusal or failure (an
// engine switched off or retired is a failure with its reason).
records::KeywordResult keywordResultOf(bool selected, const std::optional<queries::KeywordOutcome>& outcome);

// A keyword run's outcome as one record, at the given moment.
records::KeywordRecord keywordRecordOf(const std::string& keyword, int firstPage, int lastPage,
                                       const queries::EngineSelection& selected,
                                       const queries::KeywordOutcomes& outcomes, std::int64_t epochSeconds);

// Appends record to the site's keyword history when site equals an item of the site list
// exactly (once, however often it is listed); returns whether it did. Raises
// records::FileError when the write fails.
bool recordKeywordScan(const records::DataFolder& folder, const std::vector<std::string>& siteItems,
                       const std::string& site, const records::KeywordRecord& record);

// Seconds since the epoch, now.
std::int64_t epochNow();

// What scanAndRecord did: each engine's outcome, and whether the run's record was written.
struct RecordedScan {
    queries::KeywordOutcomes outcomes;
    bool recorded = false;
    std::string recordError; // why the record could not be written; empty when it was or was not due
};

// runKeywordRanking through view, then the run's record appended to the site's keyword
// history when site is listed in the site list file (a missing list lists nothing). A
// stopped run writes nothing. Never raises for the record: a failed write is told in
// recordError.
RecordedScan scanAndRecord(queries::KeywordView& view, const records::DataFolder& folder, const std::string& site,
                           const std::string& keyword, int firstPage, int lastPage,
                           const queries::EngineSelection& selected);

} // namespace kaldrani::tracking
