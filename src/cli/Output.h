#pragma once

#include <string_view>

namespace kaldrani::cli {

// Writes text to standard output at once. Raises CommandFailure (status 1) naming the
// reason when it cannot all be written, so a full disk or a closed pipe is no success.
void writeStdout(std::string_view text);

} // namespace kaldrani::cli
