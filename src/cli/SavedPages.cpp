#include "cli/SavedPages.h"

#include "core/fetch/QueryFetch.h"
#include "core/records/FileIo.h"

#include <cstdio>

namespace kaldrani::cli {

PageSaver::PageSaver(const std::filesystem::path& folder) : m_folder(folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder))
        throw records::fileio::cannotCreate(folder, ec ? ec.value() : ENOTDIR);
    fetch::setPageKeeper([this](const fetch::KeptPage& page) {
        char number[16];
        std::snprintf(number, sizeof number, "%03zu", ++m_next);
        const std::string name = std::string(number) + "-" + (page.service.empty() ? "page" : page.service) + ".page";
        try {
            records::fileio::replaceFile(m_folder / name, page.url + "\n" + page.statusLine + "\n\n" + page.body);
            ++m_saved;
        } catch (const std::exception& e) {
            const std::lock_guard lock(m_mutex);
            if (m_firstError.empty())
                m_firstError = e.what();
        }
    });
}

PageSaver::~PageSaver()
{
    fetch::setPageKeeper({});
}

std::string PageSaver::firstError() const
{
    const std::lock_guard lock(m_mutex);
    return m_firstError;
}

std::string savedPageBody(const std::string& fileBytes)
{
    // "http(s)://...\n", a status line (possibly empty), "\n".
    if (!fileBytes.starts_with("http://") && !fileBytes.starts_with("https://"))
        return fileBytes;
    const std::size_t urlEnd = fileBytes.find('\n');
    if (urlEnd == std::string::npos)
        return fileBytes;
    const std::size_t statusEnd = fileBytes.find('\n', urlEnd + 1);
    if (statusEnd == std::string::npos || statusEnd + 1 >= fileBytes.size() + 1 || fileBytes.compare(statusEnd + 1, 1, "\n") != 0)
        return fileBytes;
    const std::string status = fileBytes.substr(urlEnd + 1, statusEnd - urlEnd - 1);
    if (!status.empty() && !status.starts_with("HTTP/"))
        return fileBytes;
    return fileBytes.substr(statusEnd + 2);
}

} // namespace kaldrani::cli
