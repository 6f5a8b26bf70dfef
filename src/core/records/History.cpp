#include "core/records/History.h"

#include "core/records/FileIo.h"
#include "core/text/Encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kaldrani::records {

namespace {

constexpr size_t kMaxRecords = 1000;

// Where the quoted stretch still open at the end of text starts, or npos when none is.
size_t openQuoteAt(std::string_view text)
{
    size_t open = std::string_view::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (open != std::string_view::npos) {
            if (c == text[open])
                open = std::string_view::npos;
        } else if (c == '"' || c == '\'') {
            open = i;
        }
    }
    return open;
}

// A field must stay one field of one line when read back: no line break, no comma, and no
// quote left open (an open quote would swallow the commas of the fields after it).
std::string recordField(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == ',')
            continue;
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    for (size_t open = openQuoteAt(out); open != std::string::npos; open = openQuoteAt(out))
        out.erase(open, 1);
    return out;
}

std::string withoutBreaks(std::string_view line)
{
    std::string out(line);
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

std::filesystem::path historyPathForWriting(const DataFolder& folder, std::string_view site)
{
    try {
        return folder.historyPath(site);
    } catch (const FileError&) {
        std::string shown(site);
        std::erase(shown, '\0');
        throw FileError(fileio::cannotCreate(folder.historyFolder().string() + "/" + shown + ".txt", EINVAL));
    }
}

} // namespace

std::string formatQueryTime(const std::tm& local)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d-%d-%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    std::string out = buf;
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0) {
        std::snprintf(buf, sizeof buf, " %d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
        out += buf;
    }
    return out;
}

std::string formatHistoryLine(const HistoryFields& fields, const std::string& queryTime)
{
    std::string line;
    for (size_t i = 0; i < fields.indexed.size(); ++i)
        line += recordField(fields.indexed[i]) + "/" + recordField(fields.backlinks[i]) + ",";
    line += recordField(fields.pageRank) + ",";
    line += recordField(fields.sogouRating) + ",";
    line += recordField(fields.alexaRank) + ",";
    line += recordField(fields.chinaRank) + ",";
    line += recordField(queryTime);
    return line;
}

void appendHistoryLine(const DataFolder& folder, std::string_view site, std::string_view line)
{
    const auto path = historyPathForWriting(folder, site);
    fileio::createIfMissing(path);
    // Past creation a failure loses the record without a message, as callers expect.
    (void)fileio::appendLine(path, withoutBreaks(line));
}

std::vector<std::string> splitHistoryFields(std::string_view line)
{
    std::vector<std::string> fields;
    std::string field;
    char quote = 0;
    for (const char c : line) {
        if (quote) {
            field += c;
            if (c == quote)
                quote = 0;
        } else if (c == ',') {
            if (!field.empty())
                fields.push_back(std::move(field));
            field.clear();
        } else {
            if (c == '"' || c == '\'')
                quote = c;
            field += c;
        }
    }
    if (!field.empty())
        fields.push_back(std::move(field));
    return fields;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::vector<std::string>> ReadHistory(const DataFolder& folder, std::string_view site)
{
    const auto path = folder.historyPath(site);
    const std::string bytes = fileio::readWholeFile(path);

    // GBK keeps CR and LF single bytes that no character contains, so a file without a
    // byte-order mark is cut as bytes: the kept lines go back exactly as they were,
    // undecodable bytes too. A marked file is decoded first and written back as GBK.
    const bool gbk = text::detectByteOrderMark(bytes) == text::ByteOrderMark::None;
    std::vector<std::string> lines = splitLines(gbk ? bytes : text::decodeFileText(bytes));
    if (lines.size() > kMaxRecords) {
        lines.erase(lines.begin(), lines.end() - kMaxRecords);
        std::string out;
        for (const auto& line : lines)
            out += line + "\r\n";
        fileio::replaceFile(path, gbk ? out : text::utf8ToGbk(out));
    }
    if (gbk)
        for (auto& line : lines)
            line = text::gbkToUtf8(line);

    std::vector<std::vector<std::string>> records;
    records.reserve(lines.size());
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        records.push_back(splitHistoryFields(*it));
    return records;
}

} // namespace kaldrani::records
