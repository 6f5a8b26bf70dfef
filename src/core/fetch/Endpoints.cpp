#include "core/fetch/Endpoints.h"

#include "core/profiles/ProfileLoader.h"

#include <stdexcept>

namespace kaldrani::endpoints {

std::string_view DefaultHost::view() const
{
    // The classic base's hosts, whichever base is the default: the stand-in's old world
    // answers at them, and most current services kept them.
    static const profiles::Profile classic = profiles::loadProfile(profiles::classicProfileText());
    const profiles::Service* service = classic.find(m_service);
    if (service == nullptr)
        throw std::out_of_range("no service \"" + std::string(m_service) + "\" in the default engine profile");
    return service->host;
}

} // namespace kaldrani::endpoints
