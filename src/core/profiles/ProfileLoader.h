#pragma once

#include "core/profiles/Profile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kaldrani::profiles {

// The embedded base profiles as TOML text: the services as they were first built
// ("classic") and as they are today ("current").
std::string_view classicProfileText();
std::string_view currentProfileText();

// The text of the base called name ("classic" or "current"), or an empty view.
std::string_view baseProfileText(std::string_view name);

// The base a user's file that names none is read over: KALDRANI_PROFILE_BASE when it
// names one, else "current".
std::string defaultBaseName();

// The text of the default base.
std::string_view defaultProfileText();

// The profile defaultText gives, with userText (the user's file, named userFile in the
// problems) read over it key by key. A user's key that is unknown, of another type than
// the default's, or of a bad value (a pattern that does not compile), and a user's text
// that does not parse, are recorded as problems; such a key keeps its default, the rest
// applies. Raises std::logic_error naming the fault when defaultText itself has one.
Profile loadProfile(std::string_view defaultText, std::string_view userText = {}, const std::string& userFile = {});

// userText read over the base its top-level key `base` names ("classic" or "current"),
// the default base when it names none or a bad one (a problem).
Profile loadUserProfile(std::string_view userText, const std::string& userFile);

// The default profile with the file at path read over it; a missing file is none, an
// unreadable one a problem. Never raises for the user's file.
Profile loadProfileFile(const std::filesystem::path& path);

// Where the user's file is: ${XDG_CONFIG_HOME:-$HOME/.config}/kaldrani/engines.toml (an
// unset or relative XDG_CONFIG_HOME is ignored, as the XDG rules say).
std::filesystem::path userProfilePath();

} // namespace kaldrani::profiles
