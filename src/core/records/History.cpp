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
        throw fileio::cannotCreate(folder.historyFolder().string() + "/" + shown + ".txt", EINVAL);
    }
}

// A line longer than this is cut on reading, and a record keeps at most kMaxFields fields:
// a record is about 100 bytes of twelve fields, and the bounds keep a stray file cheap.
constexpr size_t kMaxRecordBytes = 8192;
constexpr size_t kMaxFields = 64;

// The newest lines of a history, read from the file's end.
struct HistoryTail {
    text::ByteOrderMark mark = text::ByteOrderMark::None;
    std::vector<std::string> lines; // oldest first; GBK bytes, or UTF-8 when the file has a mark
    bool cut = false;               // the file holds more lines than these
};

// Where the first whole line of text starts: just past its first line break. The text runs
// to the file's end, so a CR's follower is always known.
size_t firstLineStart(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return i + 1;
        if (text[i] == '\r')
            return i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
    }
    return std::string_view::npos;
}

// Reads ever larger stretches from the end until they hold the newest kMaxRecords whole
// lines, so a long history costs what its last 1000 lines cost.
HistoryTail readHistoryTail(const fileio::LockedFile& file)
{
    HistoryTail tail;
    const std::uintmax_t size = file.size();
    tail.mark = text::detectByteOrderMark(file.readAt(0, std::min<std::uintmax_t>(size, 3)));
    const bool utf16 = tail.mark == text::ByteOrderMark::Utf16LE || tail.mark == text::ByteOrderMark::Utf16BE;
    const std::uintmax_t dataStart = tail.mark == text::ByteOrderMark::Utf8 ? 3 : utf16 ? 2 : 0;
    const std::uintmax_t dataSize = size - dataStart;

    for (std::uintmax_t span = 64 * 1024;; span *= 2) {
        std::uintmax_t from = dataSize > span ? size - span : dataStart;
        if (utf16 && (from - dataStart) % 2 != 0)
            ++from; // stay on a character boundary counted from the mark
        const bool whole = from == dataStart;
        const std::string raw = file.readAt(from, static_cast<size_t>(size - from));
        std::string text;
        if (utf16)
            text = text::utf16ToUtf8(raw, tail.mark == text::ByteOrderMark::Utf16BE);
        else if (tail.mark == text::ByteOrderMark::Utf8)
            text = text::sanitizeUtf8(raw);
        else
            text = raw;

        const size_t start = whole ? 0 : firstLineStart(text);
        if (start == std::string::npos)
            continue;
        std::vector<std::string> lines = splitLines(std::string_view(text).substr(start));
        // Unless the stretch reaches the start, one more line ends where these begin.
        if (!whole && lines.size() < kMaxRecords)
            continue;
        tail.cut = lines.size() > kMaxRecords || !whole;
        if (lines.size() > kMaxRecords)
            lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(kMaxRecords));
        tail.lines = std::move(lines);
        return tail;
    }
}

// The fields of one record line (UTF-8), within the bounds on length and field count.
std::vector<std::string> boundedFields(std::string& line)
{
    if (line.size() > kMaxRecordBytes) {
        size_t cut = kMaxRecordBytes;
        while (cut > 0 && text::isUtf8Continuation(line[cut]))
            --cut;
        line.resize(cut);
    }
    std::vector<std::string> fields = splitHistoryFields(line);
    if (fields.size() > kMaxFields)
        fields.resize(kMaxFields);
    return fields;
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
    fileio::appendLine(historyPathForWriting(folder, site), withoutBreaks(line));
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
    fileio::LockedFile file(path);
    if (file.size() > fileio::kMaxDataFileBytes)
        throw fileio::tooLarge(path);
    const HistoryTail tail = readHistoryTail(file);

    if (tail.cut) {
        // GBK keeps the kept lines' bytes exactly, undecodable ones too; a file with a
        // byte-order mark goes back in GBK.
        std::string out;
        for (const auto& line : tail.lines)
            out += line + "\r\n";
        // A file the user may not write keeps its lines; the reading still shows the newest.
        if (file.writable())
            file.replace(tail.mark == text::ByteOrderMark::None ? out : text::utf8ToGbk(out));
    }

    std::vector<std::vector<std::string>> records;
    records.reserve(tail.lines.size());
    for (auto it = tail.lines.rbegin(); it != tail.lines.rend(); ++it) {
        std::string line = tail.mark == text::ByteOrderMark::None ? text::gbkToUtf8(*it) : *it;
        records.push_back(boundedFields(line));
    }
    return records;
}

} // namespace kaldrani::records
