#pragma once

#include <filesystem>
#include <string>

namespace kaldrani::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    // Makes the folder; raises std::runtime_error when it cannot.
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace kaldrani::testing
