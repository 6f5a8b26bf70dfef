#pragma once

#include "core/records/History.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// One stored record read back into its figures: the counts split at their "/", the rank
// texts and the query time, each as stored.
struct HistoryEntry {
    HistoryFields fields;
    std::string queryTime;
};

// Takes a record's fields as ReadHistory returns them. The query time is the last field;
// a record that lost an empty field leaves the rank texts after it empty, and one whose
// Alexa text held commas gets them back. Returns nothing for a record of no fields.
std::optional<HistoryEntry> readHistoryEntry(const std::vector<std::string>& fields);

// Reads a query time "yyyy-M-d" or "yyyy-M-d H:mm:ss" ("/" also separates the date).
// Returns nothing for any other text or an impossible date or time.
std::optional<std::tm> parseQueryTime(std::string_view text);

// The query time in ISO 8601, "yyyy-MM-ddTHH:mm:ss" local time; text that is no query
// time is returned unchanged.
std::string isoQueryTime(std::string_view text);

} // namespace kaldrani::records
