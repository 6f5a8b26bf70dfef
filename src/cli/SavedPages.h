#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>

namespace kaldrani::cli {

// Keeps every page the queries fetch while it lives, one file each in a folder: the
// address, the status line, an empty line, then the body as it came (for a page read in
// the string form, as that form decoded it). Files are named NNN-SERVICE.page in the
// order fetched. Not copyable: it is the process's one page keeper while it lives.
class PageSaver {
public:
    // Makes folder (and its parents) when missing. Raises records::FileError when it cannot.
    explicit PageSaver(const std::filesystem::path& folder);
    ~PageSaver();
    PageSaver(const PageSaver&) = delete;
    PageSaver& operator=(const PageSaver&) = delete;

    // The first failure to write a page, or an empty text.
    std::string firstError() const;
    // How many pages were written.
    std::size_t saved() const { return m_saved.load(); }

private:
    std::filesystem::path m_folder;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::size_t> m_saved{0};
    mutable std::mutex m_mutex;
    std::string m_firstError;
};

// The body of a saved page's file: what follows the address, status line and empty line
// PageSaver writes, or the whole file when it does not start that way (a page saved from
// a browser).
std::string savedPageBody(const std::string& fileBytes);

} // namespace kaldrani::cli
