#pragma once

#include "core/model/SearchEngine.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, CR or LF.
std::string csvField(std::string_view text);

// The cell text a spreadsheet will not take for a formula: a text beginning with "=", "+",
// "-", "@", TAB or CR gets a leading "'", unless it is a plain signed number ("-1", "+2.5")
// or a lone "-", which a spreadsheet reads as a value. Any other text is returned as it is.
std::string spreadsheetSafe(std::string_view text);

// [rfc4180] One record: each field through spreadsheetSafe and csvField, commas between,
// CR LF after.
void appendCsvRow(std::string& out, const std::vector<std::string>& fields);

// Records as ReadHistory returns them, as CSV in UTF-8 with CR LF line ends: a header row
// (the engines named by engineLabels, in record order), then one row per record in the
// given order: the query time in ISO 8601, indexed and backlink count of each engine,
// PageRank, Sogou rating, Alexa rank, ChinaRank. Every cell goes through spreadsheetSafe,
// so page text cannot reach a spreadsheet as a formula. Records of no fields are left out.
// No byte-order mark.
std::string historyCsv(const std::vector<std::vector<std::string>>& records,
                       const PerEngine<std::string_view>& engineLabels);

// The byte-order mark that tells spreadsheet programs a CSV file is UTF-8.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

} // namespace kaldrani::records
