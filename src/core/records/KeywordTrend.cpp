#include "core/records/KeywordTrend.h"

#include "core/records/HistoryCsv.h"

#include <algorithm>

namespace kaldrani::records {

namespace {

using State = KeywordResult::State;

std::string cellOf(const KeywordResult& r)
{
    switch (r.state) {
    case State::Position: return std::to_string(r.position);
    case State::NotFound: return "未找到";
    case State::NotSelected: return "未选择";
    case State::Failed:
    case State::Blocked: return "查询失败：" + r.reason;
    case State::Absent: break;
    }
    return {};
}

} // namespace

std::vector<std::string> keywordsOf(const std::vector<KeywordRecord>& records)
{
    std::vector<std::string> out;
    for (const auto& r : records)
        if (std::find(out.begin(), out.end(), r.keyword) == out.end())
            out.push_back(r.keyword);
    return out;
}

KeywordTrend buildKeywordTrend(const std::vector<KeywordRecord>& records, std::string_view keyword)
{
    KeywordTrend trend;
    PerEngine<bool> runOpen{};
    for (const auto& r : records) {
        std::int64_t seconds = 0;
        if (r.keyword != keyword || !parseIsoTime(r.time, seconds))
            continue;
        const std::int64_t msecs = seconds * 1000;
        for (const SearchEngine e : kSearchEngines) {
            const auto i = engineIndex(e);
            const KeywordResult& result = r.results[i];
            switch (result.state) {
            case State::Position:
                if (!runOpen[i])
                    trend.positions[i].emplace_back();
                trend.positions[i].back().push_back({msecs, static_cast<double>(result.position)});
                runOpen[i] = true;
                break;
            case State::NotFound:
                trend.notFound[i].push_back(msecs);
                runOpen[i] = false;
                break;
            case State::Failed:
            case State::Blocked:
                trend.failed[i].push_back(msecs);
                runOpen[i] = false;
                break;
            case State::NotSelected:
            case State::Absent:
                break;
            }
        }
    }
    return trend;
}

std::string keywordHistoryCsv(const std::vector<KeywordRecord>& records, std::string_view keyword,
                              const PerEngine<std::string_view>& engineLabels)
{
    std::string out;
    std::vector<std::string> header{"查询时间", "关键词", "页码范围"};
    for (const std::string_view label : engineLabels)
        header.emplace_back(label);
    appendCsvRow(out, header);
    for (const auto& r : records) {
        if (r.keyword != keyword)
            continue;
        std::vector<std::string> row{r.time, r.keyword, std::to_string(r.firstPage) + "-" + std::to_string(r.lastPage)};
        for (const auto& result : r.results)
            row.push_back(cellOf(result));
        appendCsvRow(out, row);
    }
    return out;
}

} // namespace kaldrani::records
