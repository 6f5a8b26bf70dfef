#include "core/records/TrackedKeywords.h"

#include "core/records/FileIo.h"
#include "core/records/History.h"
#include "core/text/Encoding.h"

#include <optional>
#include <stdexcept>
#include <system_error>

namespace kaldrani::records {

namespace {

std::optional<TrackedKeyword> pairOf(std::string_view line)
{
    if (line.empty() || line.front() == '#')
        return std::nullopt;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0 || tab + 1 == line.size())
        return std::nullopt;
    return TrackedKeyword{std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
}

// Runs change over the file's lines under its lock and writes them back when it says so.
template <class Change>
bool editLines(const DataFolder& folder, Change&& change)
{
    const std::filesystem::path path = trackedKeywordsPath(folder);
    std::optional<fileio::LockedFile> file;
    std::vector<std::string> lines = splitLines(fileio::openForEdit(path, file));
    if (!change(lines))
        return false;
    std::string out;
    for (const auto& line : lines)
        out += line + '\n';
    file->replace(out);
    return true;
}

} // namespace

std::filesystem::path trackedKeywordsPath(const DataFolder& folder)
{
    return folder.root() / "keywords.txt";
}

std::string keywordProblem(std::string_view keyword)
{
    if (keyword.empty())
        return "the keyword is empty";
    if (keyword.find_first_of("\t\r\n") != std::string_view::npos)
        return "the keyword holds a TAB or a line break";
    if (!text::isValidUtf8(keyword))
        return "the keyword is not UTF-8 text";
    if (keyword.size() > kMaxKeywordBytes)
        return "the keyword is longer than " + std::to_string(kMaxKeywordBytes) + " bytes";
    return {};
}

std::vector<TrackedKeyword> loadTrackedKeywords(const DataFolder& folder)
{
    const std::filesystem::path path = trackedKeywordsPath(folder);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {};
    std::vector<TrackedKeyword> all;
    for (const auto& line : splitLines(fileio::readDataFile(path)))
        if (auto pair = pairOf(line))
            all.push_back(std::move(*pair));
    return all;
}

std::vector<std::string> trackedKeywordsOf(const std::vector<TrackedKeyword>& all, std::string_view site)
{
    std::vector<std::string> keywords;
    for (const auto& t : all)
        if (t.site == site)
            keywords.push_back(t.keyword);
    return keywords;
}

bool addTrackedKeyword(const DataFolder& folder, std::string_view site, std::string_view keyword)
{
    if (const std::string problem = keywordProblem(keyword); !problem.empty())
        throw std::invalid_argument(problem);
    if (site.empty() || site.find_first_of("\t\r\n") != std::string_view::npos)
        throw std::invalid_argument("the site is empty or holds a TAB or a line break");
    // The file's line would read back as a comment, and the keyword never be tracked.
    if (site.front() == '#')
        throw std::invalid_argument("a site that begins with \"#\" cannot be tracked (its line would be a comment)");
    const TrackedKeyword wanted{std::string(site), std::string(keyword)};
    return editLines(folder, [&](std::vector<std::string>& lines) {
        for (const auto& line : lines)
            if (pairOf(line) == wanted)
                return false;
        lines.push_back(wanted.site + '\t' + wanted.keyword);
        return true;
    });
}

bool removeTrackedKeyword(const DataFolder& folder, std::string_view site, std::string_view keyword)
{
    const TrackedKeyword wanted{std::string(site), std::string(keyword)};
    return editLines(folder, [&](std::vector<std::string>& lines) {
        return std::erase_if(lines, [&](const std::string& line) { return pairOf(line) == wanted; }) > 0;
    });
}

} // namespace kaldrani::records
