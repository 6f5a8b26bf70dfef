#pragma once

#include "core/records/DataFolder.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The keywords tracked for each site, beside the site list: base/vemro/keywords.txt, UTF-8,
// one "SITE TAB KEYWORD" per line, in the order they were added. Lines that are no such
// pair (a comment starting with "#" too) are kept as they are and passed over.
namespace kaldrani::records {

struct TrackedKeyword {
    std::string site;
    std::string keyword;

    bool operator==(const TrackedKeyword&) const = default;
};

// base/vemro/keywords.txt
std::filesystem::path trackedKeywordsPath(const DataFolder& folder);

// The longest keyword taken, in bytes.
inline constexpr std::size_t kMaxKeywordBytes = 256;

// Empty when keyword may be tracked; else why not (empty, a TAB or line break in it, not
// UTF-8, longer than kMaxKeywordBytes).
std::string keywordProblem(std::string_view keyword);

// Every tracked pair, in file order; none when the file is missing. Raises FileError
// when it cannot be read.
std::vector<TrackedKeyword> loadTrackedKeywords(const DataFolder& folder);

// The site's tracked keywords, in file order (the site compared exactly).
std::vector<std::string> trackedKeywordsOf(const std::vector<TrackedKeyword>& all, std::string_view site);

// Adds the pair unless it is there already; returns whether it was added. Raises
// std::invalid_argument when keywordProblem names one or the site cannot be written (empty,
// a TAB or line break, a leading "#"), FileError when the file cannot be written (it is
// then as it was).
bool addTrackedKeyword(const DataFolder& folder, std::string_view site, std::string_view keyword);

// Removes the pair; returns whether it was there. Raises FileError as addTrackedKeyword.
bool removeTrackedKeyword(const DataFolder& folder, std::string_view site, std::string_view keyword);

} // namespace kaldrani::records
