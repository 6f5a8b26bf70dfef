#pragma once

#include "core/lookups/SiteHealth.h"
#include "core/tracking/ChangeSummary.h"

#include <string>
#include <vector>

namespace kaldrani::tracking {

// When a site's health is told.
struct HealthThresholds {
    int domainDays = 30;      // a domain expiring within this many days
    int certificateDays = 14; // a certificate expiring within this many days
};

// The lines a site's checks give (moved, so the notice tells them): a domain or a
// certificate expiring within its threshold (after: the day, keyword: the days left), a
// certificate that does not verify or a name that does not resolve (after "fail", reason
// why). A domain expiry that could not be found gives a failed line that is not moved.
std::vector<ChangeLine> healthChanges(const std::string& site, const std::vector<lookups::HealthCheck>& checks,
                                      const HealthThresholds& thresholds);

} // namespace kaldrani::tracking
