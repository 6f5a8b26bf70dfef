#pragma once

#include "core/records/FileError.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes of the data files, with the system's error texts.
namespace kaldrani::records::fileio {

// The largest site list or history read or written. A record line is about 100 bytes, so
// this holds far more than anyone keeps, and bounds what a stray big file can cost.
inline constexpr std::uintmax_t kMaxDataFileBytes = 64u << 20;

// How long a writer waits for another program that holds a data file's lock.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// The failure to open, create or write path for the given errno value: "Cannot open
// file "<path>". <reason>" and so on.
FileError cannotOpen(const std::filesystem::path& path, int error);
FileError cannotCreate(const std::filesystem::path& path, int error);
FileError cannotWrite(const std::filesystem::path& path, int error);
// "Cannot open file "<path>". File too large (more than 64 MiB)".
FileError tooLarge(const std::filesystem::path& path);

// The file's bytes, from any kind of file (a pipe too), at most kMaxDataFileBytes. Raises
// FileError "Cannot open file ..." when it cannot be opened or read, or is larger.
std::string readWholeFile(const std::filesystem::path& path);

// The bytes of a data file: a regular file of at most kMaxDataFileBytes. Anything else (a
// FIFO, a device, a folder) is refused at once, never waited on. Raises FileError
// "Cannot open file ...".
std::string readDataFile(const std::filesystem::path& path);

// Creates an empty file where none exists; an existing file is not touched. Raises
// FileError "Cannot create file ..." on failure.
void createIfMissing(const std::filesystem::path& path);

// Replaces the content of the file the path names (through any symbolic link) with bytes,
// under the file's lock: written to a temporary file beside it, flushed and renamed over
// it with the old file's mode, so the old content stays whole on any failure; a writable
// file in a folder that is not is rewritten in place. Raises FileError "Cannot create
// file ..." naming the path, also when the file is not one the user may write.
void replaceFile(const std::filesystem::path& path, std::string_view bytes);

// Appends one UTF-8 line plus CR LF under the file's lock, creating the file when missing,
// in GBK, or in the file's own encoding when it starts with a UTF-8 or UTF-16 byte-order
// mark; the line always starts a line of its own on a character boundary. Raises FileError
// "Cannot create file ..." when the file cannot be made, "Cannot open file ..." when it
// cannot be opened or locked, "Cannot write file ..." when the write fails; the file is
// then left as it was, and a file made for the line is removed.
void appendLine(const std::filesystem::path& path, std::string_view line);

// One regular data file held open under an exclusive lock, for a read-modify-write that
// no other writer (in this or another program) may interleave with.
class LockedFile {
public:
    // Opens the file the path names, waiting at most `wait` for its lock. Raises FileError
    // "Cannot open file ..." when it is missing, not a regular file, or stays locked.
    explicit LockedFile(const std::filesystem::path& path, std::chrono::milliseconds wait = kLockWait);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    std::uintmax_t size() const { return static_cast<std::uintmax_t>(m_stat.st_size); }

    // Up to `count` bytes from `offset`. Raises FileError "Cannot open file ..." on a read error.
    std::string readAt(std::uintmax_t offset, std::size_t count) const;

    // True when this user may write the file.
    bool writable() const;

    // Replaces the content as replaceFile does, keeping the lock. Raises FileError
    // "Cannot create file ..." naming the path.
    void replace(std::string_view bytes);

private:
    std::filesystem::path m_path;   // as the caller named it, for messages
    std::filesystem::path m_target; // the file itself, links followed
    int m_fd = -1;
    struct stat m_stat {};
};

// Opens path for a read, change and write under its lock, making its folder and an empty
// file when they are missing. Emplaces the locked file into `file` and returns its bytes.
// Raises FileError (operation Create) when it cannot be made, opened or locked, and
// tooLarge over kMaxDataFileBytes.
std::string openForEdit(const std::filesystem::path& path, std::optional<LockedFile>& file);

} // namespace kaldrani::records::fileio
