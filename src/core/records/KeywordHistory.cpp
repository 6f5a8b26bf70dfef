#include "core/records/KeywordHistory.h"

#include "core/records/FileIo.h"
#include "core/records/History.h"
#include "core/text/CivilDays.h"
#include "core/text/Encoding.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <system_error>

namespace kaldrani::records {

namespace {

constexpr std::string_view kBlocked = "blocked: ";

constexpr std::string_view kHeader = "# kaldrani keyword history 1: TIME TAB KEYWORD TAB FIRST-LAST {TAB ENGINE=RESULT}";

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '%': out += "%25"; break;
        case '\t': out += "%09"; break;
        case '\r': out += "%0D"; break;
        case '\n': out += "%0A"; break;
        default: out += c;
        }
    }
    return out;
}

// Only the four escapes the writer makes; any other "%" stays as it is.
std::string unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string_view code = text.substr(i + 1, 2);
            const char c = code == "25" ? '%' : code == "09" ? '\t' : code == "0D" ? '\r' : code == "0A" ? '\n' : 0;
            if (c) {
                out += c;
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool toInt(std::string_view text, int& value)
{
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> splitTabs(std::string_view line)
{
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return parts;
        start = tab + 1;
    }
}

bool parseResult(std::string_view text, KeywordResult& result)
{
    if (text == "none") {
        result = {KeywordResult::State::NotFound, 0, {}};
        return true;
    }
    if (text == "off") {
        result = {KeywordResult::State::NotSelected, 0, {}};
        return true;
    }
    if (text.starts_with("fail:")) {
        std::string reason = unescaped(text.substr(5));
        const auto state = reason.starts_with(kBlocked) ? KeywordResult::State::Blocked : KeywordResult::State::Failed;
        result = {state, 0, std::move(reason)};
        return true;
    }
    int position = 0;
    if (!toInt(text, position) || position < 1)
        return false;
    result = {KeywordResult::State::Position, position, {}};
    return true;
}

std::string resultText(const KeywordResult& result)
{
    switch (result.state) {
    case KeywordResult::State::Position: return std::to_string(result.position);
    case KeywordResult::State::NotFound: return "none";
    case KeywordResult::State::NotSelected: return "off";
    case KeywordResult::State::Failed: return "fail:" + escaped(result.reason);
    case KeywordResult::State::Blocked:
        return "fail:" + escaped(result.reason.starts_with(kBlocked) ? result.reason : std::string(kBlocked) + result.reason);
    case KeywordResult::State::Absent: break;
    }
    return {};
}

bool digitsAt(std::string_view text, size_t at, size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool isComment(std::string_view line)
{
    return line.empty() || line.front() == '#';
}

} // namespace

std::filesystem::path keywordHistoryPath(const DataFolder& folder, std::string_view site)
{
    // The same rule as the overview's history: the site text names the file.
    return folder.root() / "keywords" / folder.historyPath(site).filename();
}

std::string formatKeywordRecord(const KeywordRecord& record)
{
    std::string line = record.time + '\t' + escaped(record.keyword) + '\t' + std::to_string(record.firstPage) + '-'
                     + std::to_string(record.lastPage);
    for (const SearchEngine e : kSearchEngines) {
        const KeywordResult& r = record.results[engineIndex(e)];
        if (r.state != KeywordResult::State::Absent)
            line += '\t' + std::string(kEngineKeys[engineIndex(e)]) + '=' + resultText(r);
    }
    return line;
}

bool parseKeywordRecord(std::string_view line, KeywordRecord& record)
{
    if (!text::isValidUtf8(line))
        return false;
    const std::vector<std::string_view> parts = splitTabs(line);
    if (parts.size() < 3)
        return false;
    std::int64_t when = 0;
    if (!parseIsoTime(parts[0], when))
        return false;
    const size_t dash = parts[2].find('-');
    if (dash == std::string_view::npos || !toInt(parts[2].substr(0, dash), record.firstPage)
        || !toInt(parts[2].substr(dash + 1), record.lastPage))
        return false;
    record.time = std::string(parts[0]);
    record.keyword = unescaped(parts[1]);
    record.results = {};
    for (size_t i = 3; i < parts.size(); ++i) {
        const size_t eq = parts[i].find('=');
        if (eq == std::string_view::npos)
            return false;
        const std::string_view key = parts[i].substr(0, eq);
        KeywordResult result;
        if (!parseResult(parts[i].substr(eq + 1), result))
            return false;
        for (const SearchEngine e : kSearchEngines)
            if (kEngineKeys[engineIndex(e)] == key)
                record.results[engineIndex(e)] = std::move(result);
    }
    return true;
}

std::string isoLocalTime(std::int64_t epochSeconds)
{
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    localtime_r(&t, &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return buf;
}

bool parseIsoTime(std::string_view text, std::int64_t& epochSeconds)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (text.size() < 20 || !digitsAt(text, 0, 4, y) || text[4] != '-' || !digitsAt(text, 5, 2, mo) || text[7] != '-'
        || !digitsAt(text, 8, 2, d) || text[10] != 'T' || !digitsAt(text, 11, 2, h) || text[13] != ':'
        || !digitsAt(text, 14, 2, mi) || text[16] != ':' || !digitsAt(text, 17, 2, s))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return false;
    const std::string_view zone = text.substr(19);
    int offsetMinutes = 0;
    if (zone != "Z") {
        int zh = 0, zm = 0;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !digitsAt(zone, 1, 2, zh) || zone[3] != ':'
            || !digitsAt(zone, 4, 2, zm) || zh > 23 || zm > 59)
            return false;
        offsetMinutes = (zh * 60 + zm) * (zone[0] == '-' ? -1 : 1);
    }
    epochSeconds = text::daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400
                 + static_cast<std::int64_t>(h) * 3600 + mi * 60 + s - static_cast<std::int64_t>(offsetMinutes) * 60;
    return true;
}

void appendKeywordRecords(const DataFolder& folder, std::string_view site, const std::vector<KeywordRecord>& records)
{
    const std::filesystem::path path = keywordHistoryPath(folder, site);
    std::optional<fileio::LockedFile> file;
    std::vector<std::string> lines = splitLines(fileio::openForEdit(path, file));
    for (const KeywordRecord& r : records)
        lines.push_back(formatKeywordRecord(r));

    // Counted from the newest line back, so that a keyword keeps its newest records.
    std::map<std::string, size_t> seen;
    std::vector<bool> keep(lines.size(), true);
    for (size_t i = lines.size(); i-- > 0;) {
        KeywordRecord r;
        if (isComment(lines[i]) || !parseKeywordRecord(lines[i], r))
            continue; // a damaged line is the user's to mend, never dropped here
        if (++seen[r.keyword] > kMaxKeywordRecords)
            keep[i] = false;
    }
    std::string out = std::string(kHeader) + '\n';
    for (size_t i = 0; i < lines.size(); ++i)
        if (keep[i] && !lines[i].empty() && lines[i] != kHeader)
            out += lines[i] + '\n';
    file->replace(out);
}

KeywordHistory readKeywordHistory(const DataFolder& folder, std::string_view site)
{
    const std::filesystem::path path = keywordHistoryPath(folder, site);
    KeywordHistory history;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return history;
    for (const std::string& line : splitLines(fileio::readDataFile(path))) {
        if (isComment(line))
            continue;
        KeywordRecord r;
        if (parseKeywordRecord(line, r))
            history.records.push_back(std::move(r));
        else
            ++history.damagedLines;
    }
    return history;
}

} // namespace kaldrani::records
