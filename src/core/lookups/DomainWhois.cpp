#include "core/lookups/DomainWhois.h"

#include "core/fetch/FailureReason.h"
#include "core/fetch/QueryFetch.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/RdapBootstrap.h"
#include "core/lookups/WhoisQuery.h"
#include "core/net/HttpClient.h"
#include "core/net/WhoisClient.h"
#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <algorithm>

namespace kaldrani::lookups {

namespace {

// Every wait of a lookup, and the whole of each exchange.
constexpr int kDeadlineMs = 30000;

net::WhoisLimits whoisLimits()
{
    return {fetch::safetyReadTimeoutMs(), fetch::safetyReadTimeoutMs(), kDeadlineMs, 1u << 20};
}

// One RDAP answer's bytes ([rfc7480] 4.2: the Accept line; redirects followed, as a
// registry may send the client to where the record lives).
std::string fetchRdap(const std::string& url, const char* accept)
{
    net::THttpClient client;
    client.UserAgent = "kaldrani";
    client.Accept = accept;
    client.HandleRedirects = true;
    client.RedirectMaximum = 5;
    client.ReadTimeout = fetch::safetyReadTimeoutMs();
    client.ConnectTimeout = fetch::safetyReadTimeoutMs();
    client.FetchTimeout = kDeadlineMs;
    client.AllowCookies = false;
    std::string body;
    client.FetchPage(url, body);
    return body;
}

bool isHostName(std::string_view name)
{
    if (name.empty() || name.size() > 253 || name.find('.') == std::string_view::npos)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
}

std::string lowerTrimmed(std::string_view text)
{
    return text::asciiLower(text::trimView(text));
}

std::string lastLabel(const std::string& ascii)
{
    return ascii.substr(ascii.rfind('.') + 1);
}

std::string bothForms(const text::DomainForms& name)
{
    return name.unicode + "（" + text::asciiUpper(name.ascii) + "）";
}

DomainRegistration viaPort43(DomainRegistration found)
{
    const std::string tld = lastLabel(found.name.ascii);
    const std::string server
        = referredServer(text::sanitizeUtf8(net::askWhoisServer(std::string(kIanaWhoisHost), net::kWhoisPort, tld, whoisLimits())));
    if (server.empty())
        throw fetch::MissingFigure("no whois server for ." + tld);
    const std::string bytes = net::askWhoisServer(server, net::kWhoisPort, found.name.ascii, whoisLimits());
    const std::string text = whoisAnswerText(bytes);
    if (isWhoisRefusal(text))
        throw fetch::BlockedPage("blocked: " + server + " refused the query");
    if (text::trimView(text).empty())
        throw fetch::MissingFigure("empty answer from " + server);
    found.answers.push_back(bytes);
    found.text = found.name.isInternational() ? "域名：" + bothForms(found.name) + "\r\n\r\n" + text : text;
    return found;
}

} // namespace

std::string referredServer(std::string_view ianaAnswer)
{
    std::size_t start = 0;
    while (start < ianaAnswer.size()) {
        std::size_t end = ianaAnswer.find('\n', start);
        if (end == std::string_view::npos)
            end = ianaAnswer.size();
        const std::string_view line = ianaAnswer.substr(start, end - start);
        start = end + 1;
        // whois.iana.org's TLD record: "refer:        whois.cnnic.cn" (seen in public
        // whois clients' referral code, 2026-12).
        const std::string lower = lowerTrimmed(line);
        if (lower.starts_with("refer:")) {
            const std::string server = lowerTrimmed(std::string_view(lower).substr(6));
            return isHostName(server) ? server : std::string();
        }
    }
    return {};
}

std::string whoisAnswerText(std::string_view bytes)
{
    // whois.cnnic.cn answers in UTF-8; older servers of the region answer in GBK.
    const std::string decoded = text::isValidUtf8(bytes) ? std::string(bytes) : text::gbkToUtf8(bytes);
    std::string out;
    out.reserve(decoded.size() + decoded.size() / 16);
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const char c = decoded[i];
        if (c == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n')
            continue;
        if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

bool isWhoisRefusal(std::string_view text)
{
    // What registries answer an asker over their limit: Verisign "Your connection limit
    // exceeded", CNNIC "Queried interval is too short", DENIC "access control limit
    // reached", others "rate limit" or "too many queries".
    static constexpr std::string_view kRefusals[] = {
        "limit exceeded", "exceeded the maximum", "limit reached", "interval is too short", "too many queries",
        "too many requests", "rate limit", "quota exceeded", "查询过于频繁", "访问过于频繁",
    };
    // A refusal is a line or two; a record that happens to hold such words is long.
    const std::string lower = text::asciiLower(text.substr(0, 4096));
    if (std::count(lower.begin(), lower.end(), '\n') > 12)
        return false;
    return std::any_of(std::begin(kRefusals), std::end(kRefusals),
                       [&lower](std::string_view r) { return lower.find(r) != std::string::npos; });
}

std::string port43ExpiryDay(std::string_view text)
{
    // whois.cnnic.cn: "Expiration Time: 2027-03-17 12:48:36" (public .cn parser templates,
    // 2026-12); gTLD-style servers: "Registry Expiry Date: 2027-08-13T04:00:00Z".
    static constexpr std::string_view kLabels[] = {"expiration time:", "registry expiry date:", "expiry date:",
                                                   "expiration date:", "expires:", "paid-till:"};
    const std::string lower = text::asciiLower(text);
    for (const std::string_view label : kLabels) {
        const std::size_t at = lower.find(label);
        if (at == std::string::npos)
            continue;
        const std::string value = std::string(text::trimView(lower.substr(at + label.size(), 40)));
        if (value.size() >= 10 && value[4] == '-' && value[7] == '-'
            && std::all_of(value.begin(), value.begin() + 10, [](char c) { return c == '-' || (c >= '0' && c <= '9'); }))
            return value.substr(0, 10);
    }
    return {};
}

DomainRegistration lookUpDomain(const std::string& typed)
{
    std::string_view name = text::trimView(typed);
    if (name.size() > 4 && text::equalsIgnoreAsciiCase(name.substr(0, 4), "www."))
        name.remove_prefix(4);
    DomainRegistration found;
    found.name = text::domainForms(name);

    std::string base;
    try {
        const std::string bootstrap = bootstrapFile(
            bootstrapCachePath(), [] { return fetchRdap(std::string(kRdapBootstrapUrl), "application/json"); });
        base = rdapBaseFor(bootstrap, lastLabel(found.name.ascii));
    } catch (const std::exception&) {
        // Without the bootstrap file, the older way still finds the record.
    }
    if (base.empty())
        return viaPort43(std::move(found));

    found.viaRdap = true;
    const std::string registry = fetchRdap(base + "domain/" + found.name.ascii, "application/rdap+json");
    found.answers.push_back(registry);
    found.record = readRdapDomain(registry);
    // [rfc9083] 4.2 "related": the registrar's own service, which often holds what the
    // thin registry leaves out. Its failure leaves the registry's record.
    if (!found.record.relatedUrl.empty()) {
        try {
            const std::string registrar = fetchRdap(found.record.relatedUrl, "application/rdap+json");
            RdapRecord more = readRdapDomain(registrar);
            found.answers.push_back(registrar);
            addMissing(found.record, more);
        } catch (const std::exception&) {
        }
    }
    if (found.record.ldhName.empty())
        found.record.ldhName = found.name.ascii;
    if (found.record.unicodeName.empty() && found.name.isInternational())
        found.record.unicodeName = found.name.unicode;
    found.text = rdapText(found.record);
    return found;
}

fetch::Outcome<std::string> QueryDomainRegistration(const std::string& typed, bool raw)
{
    try {
        text::domainForms(text::trimView(typed));
    } catch (const text::DomainNameError& e) {
        return {std::string("\r\n") + e.what(), fetch::Failure{fetch::FailureKind::Plain, e.what()}};
    } catch (...) {
    }
    bool notRegistered = false;
    fetch::Outcome<std::string> found = fetch::outcomeOf(std::string(kWhoisFailure), fetch::safetyReadTimeoutMs(), [&] {
        const DomainRegistration found = [&] {
            try {
                return lookUpDomain(typed);
            } catch (const net::HttpStatusError& e) {
                notRegistered = e.code() == 404;
                throw;
            }
        }();
        if (!raw)
            return found.text;
        std::string all;
        for (const std::string& answer : found.answers)
            all += answer.ends_with('\n') || answer.empty() ? answer : answer + "\n";
        return all;
    });
    // [rfc7480] 5.3: a registry answers 404 for a name it does not hold, which is no
    // network failure.
    if (notRegistered)
        found.value = std::string(kWhoisNotRegistered);
    return found;
}

} // namespace kaldrani::lookups
