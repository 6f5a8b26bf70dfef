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

// How a history file's text is stored, as its byte-order mark says.
struct FileEncoding {
    text::ByteOrderMark mark = text::ByteOrderMark::None;

    bool utf16() const { return mark == text::ByteOrderMark::Utf16LE || mark == text::ByteOrderMark::Utf16BE; }
    bool bigEndian() const { return mark == text::ByteOrderMark::Utf16BE; }
    size_t markSize() const { return mark == text::ByteOrderMark::Utf8 ? 3 : utf16() ? 2 : 0; }
    size_t unitSize() const { return utf16() ? 2 : 1; }

    // The code unit at byte offset i (a whole unit must stand there).
    unsigned unitAt(std::string_view raw, size_t i) const
    {
        const auto b = [&](size_t k) { return static_cast<unsigned char>(raw[i + k]); };
        if (!utf16())
            return b(0);
        return bigEndian() ? (b(0) << 8 | b(1)) : (b(1) << 8 | b(0));
    }

    // CR LF in this encoding.
    std::string lineEnd() const
    {
        if (!utf16())
            return "\r\n";
        return bigEndian() ? std::string("\0\r\0\n", 4) : std::string("\r\0\n\0", 4);
    }

    // One line's stored bytes as UTF-8 text.
    std::string decode(std::string_view raw) const
    {
        if (utf16())
            return text::utf16ToUtf8(raw, bigEndian());
        return mark == text::ByteOrderMark::Utf8 ? text::sanitizeUtf8(raw) : text::gbkToUtf8(raw);
    }
};

// The newest lines of a history, read from the file's end.
struct HistoryTail {
    FileEncoding encoding;
    std::vector<std::string> lines; // oldest first, each its stored bytes without the break
    bool cut = false;               // the file holds more lines than these
};

// Splits stored text into lines by the rules of splitLines, unit by unit, so that a UTF-16
// file is split at its own CR and LF. CR and LF never stand inside a GBK or UTF-8
// character, so those are split byte by byte.
std::vector<std::string> splitStoredLines(std::string_view raw, const FileEncoding& encoding)
{
    const size_t w = encoding.unitSize();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i + w <= raw.size(); i += w) {
        const unsigned unit = encoding.unitAt(raw, i);
        if (unit != '\r' && unit != '\n')
            continue;
        lines.emplace_back(raw.substr(start, i - start));
        if (unit == '\r' && i + 2 * w <= raw.size() && encoding.unitAt(raw, i + w) == '\n')
            i += w;
        start = i + w;
    }
    if (start < raw.size())
        lines.emplace_back(raw.substr(start));
    return lines;
}

// Where the first whole line of stored text starts: just past its first line break. The
// text runs to the file's end, so a CR's follower is always known.
size_t firstLineStart(std::string_view raw, const FileEncoding& encoding)
{
    const size_t w = encoding.unitSize();
    for (size_t i = 0; i + w <= raw.size(); i += w) {
        const unsigned unit = encoding.unitAt(raw, i);
        if (unit == '\n')
            return i + w;
        if (unit == '\r')
            return i + 2 * w <= raw.size() && encoding.unitAt(raw, i + w) == '\n' ? i + 2 * w : i + w;
    }
    return std::string_view::npos;
}

// Reads ever larger stretches from the end until they hold the newest kMaxRecords whole
// lines, so a long history costs what its last 1000 lines cost.
HistoryTail readHistoryTail(const fileio::LockedFile& file)
{
    HistoryTail tail;
    const std::uintmax_t size = file.size();
    tail.encoding.mark = text::detectByteOrderMark(file.readAt(0, std::min<std::uintmax_t>(size, 3)));
    const std::uintmax_t dataStart = tail.encoding.markSize();
    const std::uintmax_t dataSize = size - dataStart;

    for (std::uintmax_t span = 64 * 1024;; span *= 2) {
        std::uintmax_t from = dataSize > span ? size - span : dataStart;
        if (tail.encoding.utf16() && (from - dataStart) % 2 != 0)
            ++from; // stay on a character boundary counted from the mark
        const bool whole = from == dataStart;
        const std::string raw = file.readAt(from, static_cast<size_t>(size - from));

        const size_t start = whole ? 0 : firstLineStart(raw, tail.encoding);
        if (start == std::string::npos)
            continue;
        std::vector<std::string> lines = splitStoredLines(std::string_view(raw).substr(start), tail.encoding);
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

// The kept lines as the file's new content, in the file's own encoding and with its own
// mark, so that a trim never changes a character: each line keeps its stored bytes.
std::string storedText(const HistoryTail& tail)
{
    std::string out;
    switch (tail.encoding.mark) {
    case text::ByteOrderMark::Utf8:
        out = "\xEF\xBB\xBF";
        break;
    case text::ByteOrderMark::Utf16LE:
        out = "\xFF\xFE";
        break;
    case text::ByteOrderMark::Utf16BE:
        out = "\xFE\xFF";
        break;
    case text::ByteOrderMark::None:
        break;
    }
    const std::string lineEnd = tail.encoding.lineEnd();
    for (const auto& line : tail.lines) {
        out += line;
        // A stray odd byte at the end of a UTF-16 file: a zero byte completes its unit, as
        // the appender does, so the line break after it stays a line break.
        if (tail.encoding.utf16() && line.size() % 2 != 0)
            out += '\0';
        out += lineEnd;
    }
    return out;
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

    // A file the user may not write keeps its lines; the reading still shows the newest.
    if (tail.cut && file.writable())
        file.replace(storedText(tail));

    std::vector<std::vector<std::string>> records;
    records.reserve(tail.lines.size());
    for (auto it = tail.lines.rbegin(); it != tail.lines.rend(); ++it) {
        std::string line = tail.encoding.decode(*it);
        records.push_back(boundedFields(line));
    }
    return records;
}

} // namespace kaldrani::records
