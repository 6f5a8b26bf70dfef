#include "core/tracking/HealthChanges.h"

namespace kaldrani::tracking {

std::vector<ChangeLine> healthChanges(const std::string& site, const std::vector<lookups::HealthCheck>& checks,
                                      const HealthThresholds& thresholds)
{
    using Kind = lookups::HealthCheck::Kind;
    using What = ChangeLine::What;
    std::vector<ChangeLine> lines;
    for (const lookups::HealthCheck& c : checks) {
        ChangeLine line;
        line.site = site;
        switch (c.kind) {
        case Kind::DomainExpiry: line.what = What::DomainExpiry; break;
        case Kind::CertificateExpiry: line.what = What::CertificateExpiry; break;
        case Kind::Certificate: line.what = What::Certificate; break;
        case Kind::Resolves: line.what = What::Resolves; break;
        }
        if (c.daysLeft) {
            const int limit = c.kind == Kind::DomainExpiry ? thresholds.domainDays : thresholds.certificateDays;
            if (*c.daysLeft > limit)
                continue;
            line.after = c.value;
            line.keyword = std::to_string(*c.daysLeft);
            line.moved = true;
            lines.push_back(std::move(line));
            continue;
        }
        if (c.ok)
            continue;
        // The certificate's own failure says it; its expiry would only repeat it.
        if (c.kind == Kind::CertificateExpiry)
            continue;
        line.after = "fail";
        line.reason = c.value;
        line.moved = c.kind != Kind::DomainExpiry;
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace kaldrani::tracking
