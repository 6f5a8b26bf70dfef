#pragma once

#include "core/queries/KeywordRun.h"
#include "core/records/DataFolder.h"
#include "core/records/KeywordHistory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kaldrani::tracking {

// What one engine's scan gave, as the keyword history keeps it: the failure when why is
// set, else the position read from "搜索排名第 N 位" (0: not found), "not selected" when
// the engine was not asked.
records::KeywordResult keywordResultOf(bool selected, const std::string& text, const std::string& why);

// A keyword run's outcome as one record, at the given moment.
records::KeywordRecord keywordRecordOf(const std::string& keyword, int firstPage, int lastPage,
                                       const queries::EngineSelection& selected,
                                       const PerEngine<std::string>& texts, const queries::KeywordFailures& failures,
                                       std::int64_t epochSeconds);

// Appends record to the site's keyword history when site equals an item of the site list
// exactly (once, however often it is listed); returns whether it did. Raises
// records::FileError when the write fails.
bool recordKeywordScan(const records::DataFolder& folder, const std::vector<std::string>& siteItems,
                       const std::string& site, const records::KeywordRecord& record);

// Seconds since the epoch, now.
std::int64_t epochNow();

} // namespace kaldrani::tracking

namespace kaldrani::tracking {

// A keyword view that passes every call on to another and keeps the result texts.
class KeepingKeywordView : public queries::KeywordView {
public:
    explicit KeepingKeywordView(queries::KeywordView& inner) : m_inner(inner) { }
    void setRunning(bool running) override { m_inner.setRunning(running); }
    void setResultText(SearchEngine engine, const std::string& text) override;
    void setLastPageUrl(SearchEngine engine, const std::string& url) override { m_inner.setLastPageUrl(engine, url); }
    void setLookupVisible(SearchEngine engine, bool visible) override { m_inner.setLookupVisible(engine, visible); }

    const PerEngine<std::string>& texts() const { return m_texts; }

private:
    queries::KeywordView& m_inner;
    PerEngine<std::string> m_texts;
};

// What scanAndRecord did: the run's failures, and whether its record was written.
struct RecordedScan {
    queries::KeywordFailures failures;
    bool recorded = false;
    std::string recordError; // why the record could not be written; empty when it was or was not due
};

// runKeywordRanking through view, then the run's record appended to the site's keyword
// history when site is listed in the site list file (a missing list lists nothing).
// Never raises for the record: a failed write is told in recordError.
RecordedScan scanAndRecord(queries::KeywordView& view, const records::DataFolder& folder, const std::string& site,
                           const std::string& keyword, int firstPage, int lastPage,
                           const queries::EngineSelection& selected);

} // namespace kaldrani::tracking
