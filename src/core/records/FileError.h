#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

namespace kaldrani::records {

// A data file that cannot be opened, created or written: which operation, which file, and
// the system's reason. The message is the system's own text, "Cannot open file "%s". %s"
// (or create, or write), made from those three and never read back.
class FileError : public std::runtime_error {
public:
    enum class Operation { Open, Create, Write };

    FileError(Operation operation, std::filesystem::path path, std::string reason)
        : std::runtime_error(text(operation, path, reason))
        , m_operation(operation)
        , m_path(std::move(path))
        , m_reason(std::move(reason))
    {
    }

    Operation operation() const { return m_operation; }
    const std::filesystem::path& path() const { return m_path; }
    const std::string& reason() const { return m_reason; }

    // The same failure told as another operation (a save that could not open its file
    // reports it as a failed create, with the open's reason).
    FileError as(Operation operation) const { return {operation, m_path, m_reason}; }

private:
    static std::string text(Operation operation, const std::filesystem::path& path, const std::string& reason)
    {
        const char* verb = operation == Operation::Open ? "open" : operation == Operation::Create ? "create" : "write";
        return std::string("Cannot ") + verb + " file \"" + path.string() + "\". " + reason;
    }

    Operation m_operation;
    std::filesystem::path m_path;
    std::string m_reason;
};

} // namespace kaldrani::records
