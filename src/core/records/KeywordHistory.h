#pragma once

#include "core/model/SearchEngine.h"
#include "core/records/DataFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A site's keyword history: one UTF-8 text file per site, base/vemro/keywords/<site>.txt,
// one scan per line, oldest first, LF line ends:
//
//   TIME TAB KEYWORD TAB FIRST-LAST {TAB ENGINE=RESULT}
//
// TIME is ISO 8601 local time with its offset ("2026-12-11T09:30:00+08:00"); ENGINE is the
// engine's typed name ("baidu"); RESULT is a position ("12"), "none" (not found in pages
// FIRST..LAST), "off" (not selected) or "fail:" and the reason; a refusal's reason starts
// with "blocked: ", so a reader that knows no refusal still reads it as a failure. In KEYWORD and the reason
// "%", TAB, CR and LF are written as %25, %09, %0D and %0A. A line starting with "#" is a
// comment; an engine name this program does not know is passed over.
namespace kaldrani::records {

// What one engine's scan came to.
struct KeywordResult {
    enum class State { Absent, Position, NotFound, NotSelected, Failed, Blocked };
    State state = State::Absent; // Absent: the record does not name the engine
    int position = 0;            // 1.. for Position
    std::string reason;          // for Failed and Blocked ("blocked: 429 Too Many Requests")

    bool operator==(const KeywordResult&) const = default;
};

// One scan of one keyword.
struct KeywordRecord {
    std::string time; // ISO 8601 with offset, as stored
    std::string keyword;
    int firstPage = 1;
    int lastPage = 1;
    PerEngine<KeywordResult> results;

    bool operator==(const KeywordRecord&) const = default;
};

// What a read found: the records oldest first, and how many lines could not be read.
struct KeywordHistory {
    std::vector<KeywordRecord> records;
    int damagedLines = 0;
};

// At most this many records are kept per keyword; older ones go on the next write.
inline constexpr std::size_t kMaxKeywordRecords = 1000;

// base/vemro/keywords/<site>.txt. Raises FileError "Cannot open file ..." for a site text
// that would name a file elsewhere (a "/" or a NUL in it).
std::filesystem::path keywordHistoryPath(const DataFolder& folder, std::string_view site);

// The record as one line, without its line break.
std::string formatKeywordRecord(const KeywordRecord& record);

// Reads one line back; returns false (and leaves record unspecified) for a damaged line.
bool parseKeywordRecord(std::string_view line, KeywordRecord& record);

// The ISO 8601 local time with offset of the given moment ("2026-12-11T09:30:00+08:00").
std::string isoLocalTime(std::int64_t epochSeconds);

// The moment an ISO 8601 time with offset stands for, in seconds since the epoch; false
// for any other text.
bool parseIsoTime(std::string_view text, std::int64_t& epochSeconds);

// Appends the records to the site's keyword history, under the file's lock, and drops the
// oldest records of a keyword that has more than kMaxKeywordRecords. The file is replaced
// crash-safely: a failure leaves it as it was. Makes the folder and file when missing.
// Raises FileError on failure.
void appendKeywordRecords(const DataFolder& folder, std::string_view site, const std::vector<KeywordRecord>& records);

// The site's keyword history, oldest first; a damaged line is skipped and counted. A
// missing file gives no records. Raises FileError when the file cannot be read or is
// over 64 MiB.
KeywordHistory readKeywordHistory(const DataFolder& folder, std::string_view site);

} // namespace kaldrani::records
