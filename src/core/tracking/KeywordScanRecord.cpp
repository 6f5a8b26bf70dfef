#include "core/tracking/KeywordScanRecord.h"

#include "core/net/StopSignal.h"

#include <algorithm>
#include <climits>
#include <ctime>

namespace kaldrani::tracking {

using records::KeywordResult;

KeywordResult keywordResultOf(bool selected, const std::optional<queries::KeywordOutcome>& outcome)
{
    using Kind = queries::KeywordKind;
    if (!selected)
        return {KeywordResult::State::NotSelected, 0, {}};
    if (!outcome)
        return {KeywordResult::State::Failed, 0, "not asked"};
    switch (queries::keywordKind(*outcome)) {
    case Kind::Position:
        // The record keeps an int; a position past it is as far down as one can be.
        return {KeywordResult::State::Position,
                static_cast<int>(std::min<long long>(outcome->value.position, INT_MAX)), {}};
    case Kind::NotFound: return {KeywordResult::State::NotFound, 0, {}};
    case Kind::Blocked: return {KeywordResult::State::Blocked, 0, outcome->failure->reason};
    case Kind::Off:
    case Kind::Failed: break;
    }
    return {KeywordResult::State::Failed, 0, outcome->why()};
}

records::KeywordRecord keywordRecordOf(const std::string& keyword, int firstPage, int lastPage,
                                       const queries::EngineSelection& selected,
                                       const queries::KeywordOutcomes& outcomes, std::int64_t epochSeconds)
{
    records::KeywordRecord record;
    record.time = records::isoLocalTime(epochSeconds);
    record.keyword = keyword;
    record.firstPage = firstPage;
    record.lastPage = lastPage;
    for (const SearchEngine e : kSearchEngines) {
        const auto i = engineIndex(e);
        record.results[i] = keywordResultOf(selected[i], outcomes[i]);
    }
    return record;
}

bool recordKeywordScan(const records::DataFolder& folder, const std::vector<std::string>& siteItems,
                       const std::string& site, const records::KeywordRecord& record)
{
    if (std::find(siteItems.begin(), siteItems.end(), site) == siteItems.end())
        return false;
    records::appendKeywordRecords(folder, site, {record});
    return true;
}

std::int64_t epochNow()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

RecordedScan scanAndRecord(queries::KeywordView& view, const records::DataFolder& folder, const std::string& site,
                           const std::string& keyword, int firstPage, int lastPage,
                           const queries::EngineSelection& selected)
{
    RecordedScan result;
    result.outcomes = queries::runKeywordRanking(view, site, keyword, firstPage, lastPage, selected);
    // A stopped scan's failures are the stop's, not the engines': no record of them.
    if (net::stopRequested())
        return result;
    try {
        if (!records::siteListExists(folder))
            return result;
        const std::vector<std::string> items = records::loadSiteList(folder);
        result.recorded = recordKeywordScan(folder, items, site,
                                            keywordRecordOf(keyword, firstPage, lastPage, selected, result.outcomes,
                                                            epochNow()));
    } catch (const std::exception& e) {
        result.recordError = e.what();
    }
    return result;
}

} // namespace kaldrani::tracking
