#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::lookups {

// One check of a site's health.
struct HealthCheck {
    enum class Kind { DomainExpiry, CertificateExpiry, Certificate, Resolves };
    Kind kind = Kind::DomainExpiry;
    bool ok = false;
    // A day "YYYY-MM-DD" (the expiries), "ok", or the failure's reason.
    std::string value;
    // Days from today to the expiry day (negative once past); nothing for the others.
    std::optional<std::int64_t> daysLeft;
    // For a person: the certificate's issuer, the addresses a name resolves to.
    std::string detail;

    bool operator==(const HealthCheck&) const = default;
};

// "domain-expiry", "certificate-expiry", "certificate", "resolves".
std::string_view checkName(HealthCheck::Kind kind);

// The registered domain of a host, as the registries know it: the last two labels, three
// under a two-letter country code's generic second level ("example.com.cn").
std::string registeredDomain(const std::string& asciiHost);

// Checks the site (a host, "www." and all; a scheme or path around it is dropped; Unicode
// or A-labels): the domain's expiry by RDAP or port 43, the certificate of https://SITE/
// (through the connect-to rules), and whether the name resolves (where the connect-to
// rules send it, when they do). today is days since 1970-01-01 (UTC). Never raises: a
// failed check says why in its value.
std::vector<HealthCheck> checkSite(const std::string& site, std::int64_t today);

// Days since 1970-01-01 of "YYYY-MM-DD"; nothing for anything else.
std::optional<std::int64_t> dayNumber(std::string_view day);

// Today, in days since 1970-01-01 (UTC).
std::int64_t today();

// One line per check: SITE TAB CHECK TAB VALUE TAB DAYS (empty when none), LF; TABs and
// line breaks in the value become blanks.
std::string healthTsv(const std::string& site, const std::vector<HealthCheck>& checks);

// For a person: the site, then one indented line per check.
std::string healthText(const std::string& site, const std::vector<HealthCheck>& checks);

} // namespace kaldrani::lookups
