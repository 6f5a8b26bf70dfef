#include "core/records/DataFolder.h"

#include "core/records/FileIo.h"
#include "core/records/History.h"
#include "core/text/Encoding.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <cstdlib>
#include <system_error>

namespace kaldrani::records {

namespace {

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

} // namespace

DataFolder::DataFolder(std::filesystem::path base) : m_base(std::move(base)) { }

std::filesystem::path DataFolder::defaultBase()
{
    // The base-directory rules treat a relative value like an unset one.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "kaldrani";
    return homeFolder() / ".local" / "share" / "kaldrani";
}

std::filesystem::path DataFolder::root() const
{
    return m_base / "vemro";
}

std::filesystem::path DataFolder::historyFolder() const
{
    return root() / "data";
}

std::filesystem::path DataFolder::siteListPath() const
{
    return root() / "website.txt";
}

std::filesystem::path DataFolder::historyPath(std::string_view site) const
{
    if (site.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        std::string shown(site);
        std::erase(shown, '\0');
        // Joined as text: a path join would let "/x" replace the folder in the message.
        throw fileio::cannotOpen(historyFolder().string() + "/" + shown + ".txt", EINVAL);
    }
    return historyFolder() / (std::string(site) + ".txt");
}

bool makeDataFolder(const DataFolder& folder)
{
    std::error_code ec;
    const bool existed = std::filesystem::is_directory(folder.root(), ec) && siteListExists(folder);
    // Also when the list exists: a history folder removed by hand would otherwise make
    // every later record fail.
    std::filesystem::create_directories(folder.historyFolder(), ec);
    if (!existed)
        fileio::createIfMissing(folder.siteListPath());
    return existed;
}

std::vector<std::string> EnsureDataFolder(const DataFolder& folder)
{
    if (makeDataFolder(folder))
        return loadSiteList(folder);
    return {};
}

bool siteListExists(const DataFolder& folder)
{
    std::error_code ec;
    return std::filesystem::exists(folder.siteListPath(), ec);
}

std::vector<std::string> loadSiteList(const DataFolder& folder)
{
    return splitLines(text::decodeFileText(fileio::readDataFile(folder.siteListPath())));
}

std::string removeEmptyLines(std::string_view text)
{
    std::string out;
    for (const auto& line : splitLines(text)) {
        if (line.empty())
            continue;
        if (!out.empty())
            out += "\r\n";
        out += line;
    }
    const bool endsWithBreak = text.ends_with('\n') || text.ends_with('\r');
    if (!out.empty() && endsWithBreak)
        out += "\r\n";
    return out;
}

void saveSiteList(const DataFolder& folder, std::string_view text)
{
    // A list another editor saved with a byte-order mark keeps its encoding: in GBK a site
    // could lose characters and so its history file's name.
    std::string head(3, '\0');
    std::ifstream old(folder.siteListPath(), std::ios::binary);
    head.resize(old.read(head.data(), 3) ? 3 : static_cast<size_t>(std::max<std::streamsize>(old.gcount(), 0)));
    const std::string lines = removeEmptyLines(text);
    switch (text::detectByteOrderMark(head)) {
    case text::ByteOrderMark::Utf8:
        return fileio::replaceFile(folder.siteListPath(), "\xEF\xBB\xBF" + text::sanitizeUtf8(lines));
    case text::ByteOrderMark::Utf16LE:
        return fileio::replaceFile(folder.siteListPath(), "\xFF\xFE" + text::utf8ToUtf16(lines, false));
    case text::ByteOrderMark::Utf16BE:
        return fileio::replaceFile(folder.siteListPath(), "\xFE\xFF" + text::utf8ToUtf16(lines, true));
    case text::ByteOrderMark::None:
        break;
    }
    fileio::replaceFile(folder.siteListPath(), text::utf8ToGbk(lines));
}

} // namespace kaldrani::records
