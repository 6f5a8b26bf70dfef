#include "core/tracking/ChangeSummary.h"

#include "core/records/HistoryTrend.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kaldrani::tracking {

namespace {

using records::KeywordResult;
using State = KeywordResult::State;
using What = ChangeLine::What;

std::string clean(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string labelOfKey(std::string_view key)
{
    for (const SearchEngine e : kSearchEngines)
        if (kEngineKeys[engineIndex(e)] == key)
            return std::string(engineLabel(e));
    return std::string(key);
}

std::string stateText(const KeywordResult& r)
{
    switch (r.state) {
    case State::Position: return std::to_string(r.position);
    case State::NotFound: return "none";
    case State::NotSelected: return "off";
    case State::Failed:
    case State::Blocked: return "fail";
    case State::Absent: break;
    }
    return {};
}

std::string numberText(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
}

constexpr const char* kWhatNames[] = {"indexed",   "backlinks", "position", "pagerank",      "sogourank",
                                      "alexarank", "chinarank", "overview", "history",       "domain-expiry",
                                      "certificate-expiry",     "certificate", "resolves"};

} // namespace

std::string changeText(const ChangeLine& line)
{
    const std::string engine = labelOfKey(line.engine);
    std::string subject;
    switch (line.what) {
    case What::Indexed: subject = engine + " 收录情况"; break;
    case What::Backlinks: subject = engine + " 反向链接"; break;
    case What::Position: subject = "\"" + line.keyword + "\" " + engine; break;
    case What::PageRank: subject = "PageRank"; break;
    case What::SogouRank: subject = "SogouRank"; break;
    case What::AlexaRank: subject = "AlexaRank"; break;
    case What::ChinaRank: subject = "ChinaRank"; break;
    case What::Overview: subject = "overview"; break;
    case What::History: subject = "history"; break;
    case What::DomainExpiry: subject = "域名到期"; break;
    case What::CertificateExpiry: subject = "证书到期"; break;
    case What::Certificate: subject = "证书验证"; break;
    case What::Resolves: subject = "域名解析"; break;
    }
    std::string text = line.site + ": " + subject;
    if (line.what >= What::DomainExpiry) {
        if (line.reason.empty())
            text += " " + line.after
                    + (line.keyword.empty()           ? ""
                       : line.keyword.front() == '-' ? "（已过期 " + line.keyword.substr(1) + " 天）"
                                                      : "（还有 " + line.keyword + " 天）");
        else
            text += " failed: " + line.reason;
        return clean(text);
    }
    if (line.moved || !line.before.empty())
        text += " " + (line.before.empty() ? std::string("?") : line.before) + " -> " + line.after;
    const auto a = records::trendNumber(line.before), b = records::trendNumber(line.after);
    if (line.moved && line.what != What::Position && a && b && *a > 0) {
        char pct[32];
        std::snprintf(pct, sizeof pct, " (%+.0f%%)", (*b - *a) / *a * 100);
        text += pct;
    }
    if (!line.reason.empty())
        text += (line.moved || !line.before.empty() ? ", failed: " : " failed: ") + line.reason;
    return clean(text);
}

std::string changeTsv(const ChangeLine& line)
{
    return clean(line.site) + '\t' + kWhatNames[static_cast<int>(line.what)] + '\t' + clean(line.keyword) + '\t'
         + clean(line.engine) + '\t' + clean(line.before) + '\t' + clean(line.after) + '\t' + clean(line.reason);
}

std::optional<ChangeLine> countChange(const std::string& site, queries::FigureId id, const std::optional<std::string>& before,
                                      const queries::Figure& now, const Thresholds& thresholds)
{
    // A service that is gone was not asked: neither a change nor a failure to tell.
    if (now.failure == fetch::FailureKind::Retired)
        return std::nullopt;
    ChangeLine line{site, id.kind == CountKind::Indexed ? What::Indexed : What::Backlinks, {},
                    std::string(kEngineKeys[engineIndex(id.engine)]), {}, {}, now.why, false};
    const std::optional<double> was = before ? records::trendNumber(*before) : std::nullopt;
    const double wasValue = was.value_or(0);
    if (before)
        line.before = was ? numberText(wasValue) : "fail";
    if (!now.why.empty()) {
        line.after = "fail";
        line.moved = wasValue > 0;
        return line;
    }
    const std::optional<double> is = records::trendNumber(now.text);
    if (!before || !is)
        return std::nullopt;
    line.after = numberText(*is);
    if (!was)
        line.moved = true;
    else if (wasValue == 0)
        line.moved = *is > 0;
    else
        line.moved = std::fabs(*is - wasValue) / wasValue * 100 > thresholds.countPercent;
    return line.moved ? std::optional(line) : std::nullopt;
}

std::vector<ChangeLine> keywordChanges(const std::string& site, const std::optional<records::KeywordRecord>& before,
                                       const records::KeywordRecord& now, const Thresholds& thresholds)
{
    std::vector<ChangeLine> lines;
    const auto asked = [](const KeywordResult& r) { return r.state != State::Absent && r.state != State::NotSelected; };
    for (const SearchEngine e : kSearchEngines) {
        const KeywordResult none;
        const KeywordResult& a = before ? before->results[engineIndex(e)] : none;
        const KeywordResult& b = now.results[engineIndex(e)];
        if (!asked(b))
            continue;
        ChangeLine line{site,        What::Position, now.keyword, std::string(kEngineKeys[engineIndex(e)]),
                        stateText(a), stateText(b),  b.reason,    false};
        // A refusal is a failure as the summary tells it.
        const auto failed = [](const KeywordResult& r) { return r.state == State::Failed || r.state == State::Blocked; };
        if (asked(a)) {
            if (a.state == State::Position && b.state == State::Position)
                line.moved = std::abs(a.position - b.position) >= thresholds.positionMove;
            else
                line.moved = a.state != b.state && !(failed(a) && failed(b));
        }
        if (line.moved || failed(b))
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace kaldrani::tracking
