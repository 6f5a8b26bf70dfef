#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and writes of the data files, with the system's error texts.
namespace kaldrani::records::fileio {

// "Cannot open file "<path>". <reason>" for the given errno value.
std::string cannotOpen(const std::filesystem::path& path, int error);
// "Cannot create file "<path>". <reason>" for the given errno value.
std::string cannotCreate(const std::filesystem::path& path, int error);

// The file's bytes. Raises FileError "Cannot open file ..." when it cannot be opened or read.
std::string readWholeFile(const std::filesystem::path& path);

// Creates an empty file where none exists; an existing file is not touched. Raises
// FileError "Cannot create file ..." on failure.
void createIfMissing(const std::filesystem::path& path);

// Replaces the file's content with bytes: written to a temporary file in the same folder,
// flushed to disk and renamed over the target, so the old content stays whole on any
// failure. Raises FileError "Cannot create file ..." naming the target.
void replaceFile(const std::filesystem::path& path, std::string_view bytes);

// Appends one UTF-8 line plus CR LF to an existing file, in GBK, or in the file's own
// encoding when it starts with a UTF-8 or UTF-16 byte-order mark. A last line without a
// break gets one first, so the line never joins it. Returns false on any failure.
bool appendLine(const std::filesystem::path& path, std::string_view line);

} // namespace kaldrani::records::fileio
