#pragma once

#include "core/model/SearchEngine.h"
#include "core/records/DataFolder.h"

#include <array>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// The display texts one history record is made of, in record order.
struct HistoryFields {
    PerEngine<std::string> indexed;
    PerEngine<std::string> backlinks;
    std::string pageRank;
    std::string sogouRating;
    std::string alexaRank;
    std::string chinaRank;
};

// The fields of one record: one "indexed/backlinks" pair per engine, the four ranks and
// the query time.
inline constexpr std::size_t kHistoryFieldCount = kEngineCount + 4 + 1;

// The query time: short date "yyyy-M-d", then unless 00:00:00 a blank and "H:mm:ss".
std::string formatQueryTime(const std::tm& local);

// One record line without its line break: twelve comma-separated fields. A field that
// would break the one-line, twelve-field shape has CR and LF turned into blanks and its
// commas removed.
std::string formatHistoryLine(const HistoryFields& fields, const std::string& queryTime);

// Appends one line plus CR LF, in GBK, to the site's history, creating the file when
// missing, under the file's lock. Raises FileError "Cannot create file ..." when the file
// cannot be made, "Cannot open file ..." or "Cannot write file ..." when the record could
// not be added; the file is then as before, and a file made for it is gone.
void appendHistoryLine(const DataFolder& folder, std::string_view site, std::string_view line);

// Splits a record line into fields: a field ends at a comma; a quote opens a stretch the
// same quote closes, in which a comma does not end the field (the quotes stay); empty
// fields are dropped; nothing is trimmed.
std::vector<std::string> splitHistoryFields(std::string_view line);

// Splits file text into lines at CR LF, lone CR or lone LF; a final line without a break
// counts, a break at the very end starts no further line, an empty text has no line.
std::vector<std::string> splitLines(std::string_view text);

// The site's records, newest first, at most 1000, each the list of its fields (an empty
// line gives an empty list; a line is read up to 8 KiB and 64 fields). A file of more
// than 1000 lines is cut to its newest 1000 and written back (CR LF, crash-safe) under its
// lock, each kept line in its stored bytes and the file's own encoding and byte-order mark,
// unless the user may not write it. Raises FileError when the file is
// missing, unreadable, not a regular file, over 64 MiB, or the write-back fails.
std::vector<std::vector<std::string>> ReadHistory(const DataFolder& folder, std::string_view site);

} // namespace kaldrani::records
