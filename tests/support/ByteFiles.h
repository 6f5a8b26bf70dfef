#pragma once

#include <filesystem>
#include <string>

namespace kaldrani::testing {

// The file's bytes as they are on disk; empty when it cannot be read.
std::string readBytes(const std::filesystem::path& path);

// Replaces the file's content with exactly these bytes (no line-end translation).
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

} // namespace kaldrani::testing
