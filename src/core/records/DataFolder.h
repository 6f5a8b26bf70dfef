#pragma once

#include "core/records/FileError.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::records {

// The data folder "vemro" and every file inside it. Every path is built from the one
// base, so creation and access agree whatever the working directory is.
class DataFolder {
public:
    // The folder is base/"vemro".
    explicit DataFolder(std::filesystem::path base);

    // ${XDG_DATA_HOME:-$HOME/.local/share}/kaldrani
    static std::filesystem::path defaultBase();

    const std::filesystem::path& base() const { return m_base; }
    std::filesystem::path root() const;          // base/vemro
    std::filesystem::path historyFolder() const; // base/vemro/data
    std::filesystem::path siteListPath() const;  // base/vemro/website.txt

    // base/vemro/data/<site>.txt. A site text holding "/" (or a NUL) would name a file
    // outside the history folder: raises FileError "Cannot open file ..." instead.
    std::filesystem::path historyPath(std::string_view site) const;

private:
    std::filesystem::path m_base;
};

// Makes the data folder, the history folder and an empty site list where missing, and
// reads nothing. Returns true when the folder and the list already existed. A folder that
// cannot be made is passed over; an empty list that cannot be created raises FileError
// "Cannot create file ...".
bool makeDataFolder(const DataFolder& folder);

// Makes the data folder, the history folder and an empty site list where missing.
// Returns the listed sites when the folder and the list already existed, else nothing.
// A folder that cannot be made is passed over; an empty list that cannot be created
// raises FileError "Cannot create file ...".
std::vector<std::string> EnsureDataFolder(const DataFolder& folder);

// True when the site list file exists.
bool siteListExists(const DataFolder& folder);

// The lines of the site list, unchanged, in file order. Raises FileError
// "Cannot open file ..." when it is missing or unreadable, not a regular file, or larger
// than 64 MiB.
std::vector<std::string> loadSiteList(const DataFolder& folder);

// Removes every line of no characters (a line of blanks stays); keeps whether the text
// ends with a line break. Lines may end in CR LF, CR or LF; the result uses CR LF.
std::string removeEmptyLines(std::string_view text);

// Writes the text (empty lines removed first) as the new site list with CR LF, in GBK, or
// in the old list's encoding with its mark when it has a UTF-8 or UTF-16 one, as
// fileio::replaceFile does: a failure leaves the old list whole, a list the user may not
// write is never replaced, a linked list updates its target. Raises FileError "Cannot
// create file ..." on failure.
void saveSiteList(const DataFolder& folder, std::string_view text);

} // namespace kaldrani::records
