#include "core/fetch/Endpoints.h"

#include "core/profiles/ActiveProfile.h"

#include <stdexcept>

namespace kaldrani::endpoints {

std::string_view DefaultHost::view() const
{
    const profiles::Service* service = profiles::defaultProfile().find(m_service);
    if (service == nullptr)
        throw std::out_of_range("no service \"" + std::string(m_service) + "\" in the default engine profile");
    return service->host;
}

} // namespace kaldrani::endpoints
