#include "core/tracking/KeywordScanRecord.h"

#include "core/net/StopSignal.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace kaldrani::tracking {

using records::KeywordResult;

KeywordResult keywordResultOf(bool selected, const std::string& text, const std::string& why)
{
    if (!selected)
        return {KeywordResult::State::NotSelected, 0, {}};
    if (!why.empty())
        return {KeywordResult::State::Failed, 0, why};
    static constexpr std::string_view prefix = "搜索排名第 ", suffix = " 位";
    const std::string_view t = text;
    int position = -1;
    if (t.starts_with(prefix) && t.ends_with(suffix) && t.size() > prefix.size() + suffix.size()) {
        const std::string_view digits = t.substr(prefix.size(), t.size() - prefix.size() - suffix.size());
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), position);
        if (ec != std::errc() || end != digits.data() + digits.size())
            position = -1;
    }
    if (position < 0)
        return {KeywordResult::State::Failed, 0, "unreadable result: " + text};
    if (position == 0)
        return {KeywordResult::State::NotFound, 0, {}};
    return {KeywordResult::State::Position, position, {}};
}

records::KeywordRecord keywordRecordOf(const std::string& keyword, int firstPage, int lastPage,
                                       const queries::EngineSelection& selected,
                                       const PerEngine<std::string>& texts, const queries::KeywordFailures& failures,
                                       std::int64_t epochSeconds)
{
    records::KeywordRecord record;
    record.time = records::isoLocalTime(epochSeconds);
    record.keyword = keyword;
    record.firstPage = firstPage;
    record.lastPage = lastPage;
    for (const SearchEngine e : kSearchEngines) {
        const auto i = engineIndex(e);
        record.results[i] = keywordResultOf(selected[i], texts[i], failures[i]);
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

} // namespace kaldrani::tracking

namespace kaldrani::tracking {

void KeepingKeywordView::setResultText(SearchEngine engine, const std::string& text)
{
    m_texts[engineIndex(engine)] = text;
    m_inner.setResultText(engine, text);
}

RecordedScan scanAndRecord(queries::KeywordView& view, const records::DataFolder& folder, const std::string& site,
                           const std::string& keyword, int firstPage, int lastPage,
                           const queries::EngineSelection& selected)
{
    RecordedScan result;
    KeepingKeywordView keeping(view);
    result.failures = queries::runKeywordRanking(keeping, site, keyword, firstPage, lastPage, selected);
    // A stopped scan's failures are the stop's, not the engines': no record of them.
    if (net::stopRequested())
        return result;
    try {
        if (!records::siteListExists(folder))
            return result;
        const std::vector<std::string> items = records::loadSiteList(folder);
        result.recorded = recordKeywordScan(
            folder, items, site,
            keywordRecordOf(keyword, firstPage, lastPage, selected, keeping.texts(), result.failures, epochNow()));
    } catch (const std::exception& e) {
        result.recordError = e.what();
    }
    return result;
}

} // namespace kaldrani::tracking
