#pragma once

#include "core/profiles/Profile.h"

#include <memory>
#include <string_view>
#include <vector>

namespace kaldrani::profiles {

// The embedded default profile, read once. Raises std::logic_error when it is unsound.
const Profile& defaultProfile();

// The profile the queries use: the default until setActiveProfile replaces it. Safe to
// call from any thread.
std::shared_ptr<const Profile> activeProfile();

// Makes profile the one the queries use, for the whole process.
void setActiveProfile(Profile profile);

// Reads the user's file (userProfilePath) over the default and makes the result the
// active profile. Returns the problems met, for the front end to report once. Never
// raises for the user's file.
std::vector<Problem> useUserProfile();

// The active profile's service called name. Raises std::out_of_range for a name the
// profile does not have.
std::shared_ptr<const Service> activeService(std::string_view name);

} // namespace kaldrani::profiles
