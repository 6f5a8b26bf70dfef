#include "core/lookups/SiteHealth.h"

#include "core/fetch/FailureReason.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/DomainWhois.h"
#include "core/net/CertificateProbe.h"
#include "core/net/ConnectTo.h"
#include "core/net/Resolve.h"
#include "core/text/Ascii.h"
#include "core/text/CivilDays.h"
#include "core/text/DomainName.h"

#include <ctime>
#include <exception>

namespace kaldrani::lookups {

namespace {

std::string reasonOf(const std::exception_ptr& error)
{
    std::string why = fetch::failureReason(error, fetch::safetyReadTimeoutMs());
    for (char& c : why)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    std::string out;
    for (const char c : why)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out += c;
    return out.empty() ? std::string("unknown failure") : out;
}

HealthCheck failed(HealthCheck::Kind kind, const std::string& why)
{
    return {kind, false, why, std::nullopt, {}};
}

HealthCheck dated(HealthCheck::Kind kind, const std::string& day, std::int64_t today, std::string detail = {})
{
    const std::optional<std::int64_t> number = dayNumber(day);
    if (!number)
        return failed(kind, "no expiry date in the answer");
    return {kind, *number >= today, day, *number - today, std::move(detail)};
}

std::string hostOf(const std::string& site)
{
    std::string host(text::trimView(site));
    for (const char* scheme : {"http://", "https://"})
        if (text::asciiLower(host).starts_with(scheme))
            host.erase(0, std::string_view(scheme).size());
    return host.substr(0, host.find_first_of("/:?#"));
}

} // namespace

std::string_view checkName(HealthCheck::Kind kind)
{
    switch (kind) {
    case HealthCheck::Kind::DomainExpiry:
        return "domain-expiry";
    case HealthCheck::Kind::CertificateExpiry:
        return "certificate-expiry";
    case HealthCheck::Kind::Certificate:
        return "certificate";
    case HealthCheck::Kind::Resolves:
        return "resolves";
    }
    return "";
}

std::string registeredDomain(const std::string& asciiHost)
{
    std::vector<std::string> labels;
    for (std::size_t start = 0;;) {
        const std::size_t dot = asciiHost.find('.', start);
        labels.push_back(asciiHost.substr(start, dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    std::size_t keep = 2;
    static constexpr std::string_view kSecondLevels[] = {"com", "net", "org", "gov", "edu", "ac", "co"};
    if (labels.size() >= 3 && labels.back().size() == 2)
        for (const std::string_view s : kSecondLevels)
            if (labels[labels.size() - 2] == s)
                keep = 3;
    if (labels.size() <= keep)
        return asciiHost;
    std::string out;
    for (std::size_t i = labels.size() - keep; i < labels.size(); ++i)
        out += (out.empty() ? "" : ".") + labels[i];
    return out;
}

std::optional<std::int64_t> dayNumber(std::string_view day)
{
    if (day.size() != 10 || day[4] != '-' || day[7] != '-')
        return std::nullopt;
    for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (day[i] < '0' || day[i] > '9')
            return std::nullopt;
    const auto number = [&day](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i)
            v = v * 10 + (day[i] - '0');
        return v;
    };
    const int month = number(5, 2), dayOfMonth = number(8, 2);
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31)
        return std::nullopt;
    return text::daysFromCivil(number(0, 4), static_cast<unsigned>(month), static_cast<unsigned>(dayOfMonth));
}

std::int64_t today()
{
    return static_cast<std::int64_t>(std::time(nullptr)) / 86400;
}

std::vector<HealthCheck> checkSite(const std::string& site, std::int64_t today)
{
    using Kind = HealthCheck::Kind;
    std::string host;
    try {
        host = text::domainForms(hostOf(site)).ascii;
    } catch (const std::exception& e) {
        return {failed(Kind::DomainExpiry, e.what()), failed(Kind::CertificateExpiry, e.what()),
                failed(Kind::Certificate, e.what()), failed(Kind::Resolves, e.what())};
    }
    std::vector<HealthCheck> checks;
    try {
        const DomainRegistration found = lookUpDomain(registeredDomain(host));
        checks.push_back(dated(Kind::DomainExpiry, found.viaRdap ? found.record.expires : port43ExpiryDay(found.text), today));
    } catch (...) {
        checks.push_back(failed(Kind::DomainExpiry, reasonOf(std::current_exception())));
    }
    try {
        const net::CertificateInfo certificate = net::probeCertificate(host, 443, fetch::safetyReadTimeoutMs());
        checks.push_back(dated(Kind::CertificateExpiry, certificate.expires, today, certificate.issuer));
        checks.push_back({Kind::Certificate, true, "ok", std::nullopt, certificate.issuer});
    } catch (...) {
        const std::string why = reasonOf(std::current_exception());
        checks.push_back(failed(Kind::CertificateExpiry, why));
        checks.push_back(failed(Kind::Certificate, why));
    }
    try {
        // Where connections for the name really go is what must resolve.
        const net::ConnectTarget target = net::resolveConnectTarget(host, 443);
        std::string addresses;
        for (const std::string& a : net::resolveAddresses(target.host, fetch::safetyReadTimeoutMs()))
            addresses += (addresses.empty() ? "" : ", ") + a;
        checks.push_back({Kind::Resolves, true, "ok", std::nullopt, addresses});
    } catch (...) {
        checks.push_back(failed(Kind::Resolves, reasonOf(std::current_exception())));
    }
    return checks;
}

std::string healthTsv(const std::string& site, const std::vector<HealthCheck>& checks)
{
    std::string out;
    for (const HealthCheck& c : checks) {
        std::string value = c.value;
        for (char& ch : value)
            if (ch == '\t' || ch == '\r' || ch == '\n')
                ch = ' ';
        out += site + "\t" + std::string(checkName(c.kind)) + "\t" + value + "\t"
               + (c.daysLeft ? std::to_string(*c.daysLeft) : std::string()) + "\n";
    }
    return out;
}

std::string healthText(const std::string& site, const std::vector<HealthCheck>& checks)
{
    std::string out = site + "\n";
    for (const HealthCheck& c : checks) {
        std::string label;
        switch (c.kind) {
        case HealthCheck::Kind::DomainExpiry:
            label = "域名到期：";
            break;
        case HealthCheck::Kind::CertificateExpiry:
            label = "证书到期：";
            break;
        case HealthCheck::Kind::Certificate:
            label = "证书验证：";
            break;
        case HealthCheck::Kind::Resolves:
            label = "域名解析：";
            break;
        }
        std::string value = c.value;
        if (c.daysLeft)
            value += *c.daysLeft >= 0 ? "（还有 " + std::to_string(*c.daysLeft) + " 天）"
                                      : "（已过期 " + std::to_string(-*c.daysLeft) + " 天）";
        if (c.kind == HealthCheck::Kind::Certificate && c.ok && !c.detail.empty())
            value += "（签发者：" + c.detail + "）";
        if (c.kind == HealthCheck::Kind::Resolves && c.ok)
            value += "（" + c.detail + "）";
        out += "  " + label + value + "\n";
    }
    return out;
}

} // namespace kaldrani::lookups
