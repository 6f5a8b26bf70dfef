#pragma once

#include "core/fetch/Endpoints.h"

#include <QString>

// The maker's pages the windows open or ask: plain HTTP on port 80.
namespace kaldrani::gui {

// The bare host, no path.
inline QString makerHomePage()
{
    return QStringLiteral("http://") + QString::fromUtf8(endpoints::kMaker.data(), endpoints::kMaker.size());
}

// The page about a domain: the text is appended as it is, neither checked nor encoded.
inline QString makerDomainPage(const QString& domain)
{
    return makerHomePage() + QStringLiteral("/?domain=") + domain;
}

} // namespace kaldrani::gui
