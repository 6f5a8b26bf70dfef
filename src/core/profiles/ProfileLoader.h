#pragma once

#include "core/profiles/Profile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kaldrani::profiles {

// The default profile the program is built with, as TOML text.
std::string_view defaultProfileText();

// The profile defaultText gives, with userText (the user's file, named userFile in the
// problems) read over it key by key. A user's key that is unknown, of another type than
// the default's, or of a bad value (a pattern that does not compile), and a user's text
// that does not parse, are recorded as problems; such a key keeps its default, the rest
// applies. Raises std::logic_error naming the fault when defaultText itself has one.
Profile loadProfile(std::string_view defaultText, std::string_view userText = {}, const std::string& userFile = {});

// The default profile with the file at path read over it; a missing file is none, an
// unreadable one a problem. Never raises for the user's file.
Profile loadProfileFile(const std::filesystem::path& path);

// Where the user's file is: ${XDG_CONFIG_HOME:-$HOME/.config}/kaldrani/engines.toml (an
// unset or relative XDG_CONFIG_HOME is ignored, as the XDG rules say).
std::filesystem::path userProfilePath();

} // namespace kaldrani::profiles
