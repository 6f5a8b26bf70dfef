#include "core/profiles/ActiveProfile.h"

#include "core/profiles/ProfileLoader.h"

#include <atomic>
#include <stdexcept>

namespace kaldrani::profiles {

namespace {

std::shared_ptr<const Profile>& slot()
{
    static std::shared_ptr<const Profile> active = std::make_shared<const Profile>(defaultProfile());
    return active;
}

} // namespace

const Profile& defaultProfile()
{
    static const Profile profile = loadProfile(defaultProfileText());
    return profile;
}

std::shared_ptr<const Profile> activeProfile()
{
    return std::atomic_load(&slot());
}

void setActiveProfile(Profile profile)
{
    std::atomic_store(&slot(), std::shared_ptr<const Profile>(std::make_shared<const Profile>(std::move(profile))));
}

std::vector<Problem> useUserProfile()
{
    Profile profile = loadProfileFile(userProfilePath());
    std::vector<Problem> problems = profile.problems;
    setActiveProfile(std::move(profile));
    return problems;
}

std::shared_ptr<const Service> activeService(std::string_view name)
{
    std::shared_ptr<const Profile> profile = activeProfile();
    const Service* service = profile->find(name);
    if (service == nullptr)
        throw std::out_of_range("no service \"" + std::string(name) + "\" in the engine profile");
    // Shares the profile's life, so a profile replaced meanwhile stays whole for this caller.
    return {std::move(profile), service};
}

} // namespace kaldrani::profiles
