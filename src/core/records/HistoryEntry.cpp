#include "core/records/HistoryEntry.h"

#include "core/model/SearchEngine.h"

#include <charconv>
#include <cstdio>

namespace kaldrani::records {

namespace {

constexpr size_t kFieldCount = kHistoryFieldCount;

// "a/b" into its two counts. Leftover markup such as "12</b>" holds a slash of its own, so a
// slash that closes a tag is passed over while another one exists.
void splitPair(const std::string& pair, std::string& indexed, std::string& backlinks)
{
    size_t at = std::string::npos;
    for (size_t i = pair.find('/'); i != std::string::npos; i = pair.find('/', i + 1)) {
        if (at == std::string::npos)
            at = i;
        if (i == 0 || pair[i - 1] != '<') {
            at = i;
            break;
        }
    }
    if (at == std::string::npos) {
        indexed = pair;
        backlinks.clear();
        return;
    }
    indexed = pair.substr(0, at);
    backlinks = pair.substr(at + 1);
}

// Reads 1..max digits at pos into value; false when there is none.
bool readNumber(std::string_view text, size_t& pos, int& value, size_t maxDigits)
{
    size_t end = pos;
    while (end < text.size() && end - pos < maxDigits && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == pos)
        return false;
    std::from_chars(text.data() + pos, text.data() + end, value);
    pos = end;
    return true;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

} // namespace

std::optional<HistoryEntry> readHistoryEntry(const std::vector<std::string>& fields)
{
    if (fields.empty())
        return std::nullopt;
    HistoryEntry entry;
    const size_t n = fields.size();
    entry.queryTime = fields.back();
    const size_t pairs = std::min(kEngineCount, n - 1);
    for (size_t i = 0; i < pairs; ++i)
        splitPair(fields[i], entry.fields.indexed[i], entry.fields.backlinks[i]);

    // Between the pairs and the time: PageRank, Sogou rating, Alexa, ChinaRank. Only the
    // Alexa reply keeps its commas, so surplus fields belong to it.
    const size_t first = kEngineCount;
    const size_t last = n - 1; // one past the rank fields
    auto at = [&](size_t i) { return i < last ? fields[i] : std::string(); };
    entry.fields.pageRank = at(first);
    entry.fields.sogouRating = at(first + 1);
    if (n > kFieldCount) {
        for (size_t i = first + 2; i < last - 1; ++i)
            entry.fields.alexaRank += (i > first + 2 ? "," : "") + fields[i];
        entry.fields.chinaRank = fields[last - 1];
    } else {
        entry.fields.alexaRank = at(first + 2);
        entry.fields.chinaRank = at(first + 3);
    }
    return entry;
}

std::optional<std::tm> parseQueryTime(std::string_view text)
{
    std::tm t{};
    size_t pos = 0;
    int year = 0, month = 0, day = 0;
    if (!readNumber(text, pos, year, 4) || pos != 4 || pos >= text.size())
        return std::nullopt;
    const char sep = text[pos];
    if (sep != '-' && sep != '/')
        return std::nullopt;
    ++pos;
    if (!readNumber(text, pos, month, 2) || pos >= text.size() || text[pos] != sep)
        return std::nullopt;
    ++pos;
    if (!readNumber(text, pos, day, 2))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    if (pos < text.size()) {
        if (text[pos] != ' ')
            return std::nullopt;
        ++pos;
        if (!readNumber(text, pos, hour, 2) || pos >= text.size() || text[pos] != ':')
            return std::nullopt;
        ++pos;
        if (!readNumber(text, pos, minute, 2) || pos >= text.size() || text[pos] != ':')
            return std::nullopt;
        ++pos;
        if (!readNumber(text, pos, second, 2) || pos != text.size())
            return std::nullopt;
        if (hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
    }
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

std::string isoQueryTime(std::string_view text)
{
    const auto t = parseQueryTime(text);
    if (!t)
        return std::string(text);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t->tm_year + 1900, t->tm_mon + 1,
                  t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    return buf;
}

} // namespace kaldrani::records
