#pragma once

#include "core/fetch/Outcome.h"
#include "core/lookups/RdapRecord.h"
#include "core/text/DomainName.h"

#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::lookups {

// IANA's whois server, which names each TLD's own ("refer:").
inline constexpr std::string_view kIanaWhoisHost = "whois.iana.org";

// What the whois box shows when the registry holds no such domain (RDAP 404).
inline constexpr std::string_view kWhoisNotRegistered = "\r\n没有找到该域名的注册记录。";

// One domain's registration as found: by RDAP (record set) or by port 43 (text only).
struct DomainRegistration {
    text::DomainForms name;
    bool viaRdap = false;
    RdapRecord record;
    // What the whois box shows, CR LF line ends.
    std::string text;
    // Every answer as it came: the RDAP JSON (registry, then registrar), or the port-43
    // server's bytes.
    std::vector<std::string> answers;
};

// The whois server a port-43 answer of IANA names on its "refer:" line; empty without one
// or when the name there is not a host name.
std::string referredServer(std::string_view ianaAnswer);

// A port-43 answer as text: UTF-8 when it is, else GBK; line ends made CR LF.
std::string whoisAnswerText(std::string_view bytes);

// True when a port-43 answer is a refusal ("limit exceeded", "too many queries", ...)
// rather than a record.
bool isWhoisRefusal(std::string_view text);

// The expiry day ("YYYY-MM-DD") a port-43 record states ("Expiration Time:", "Registry
// Expiry Date:", "Expiry Date:", ...), empty when none is found.
std::string port43ExpiryDay(std::string_view text);

// Looks up the domain typed (Unicode or A-labels; a leading "www." dropped): RDAP through
// the cached IANA bootstrap, following the registry's "related" link to the registrar;
// port 43 through whois.iana.org when the TLD has no RDAP service. Every wait bounded.
// Raises text::DomainNameError for an invalid name (nothing sent), fetch::BlockedPage for
// a refusal, RdapError, net::NetError, fetch::MissingFigure for an empty answer.
DomainRegistration lookUpDomain(const std::string& typed);

// The whois box's text for the typed domain by lookUpDomain (raw: the answers as they
// came, one after another), kWhoisFailure with the reason on any failure
// (kWhoisNotRegistered for an RDAP 404); an invalid name gives its error text. Never raises.
fetch::Outcome<std::string> QueryDomainRegistration(const std::string& typed, bool raw = false);

} // namespace kaldrani::lookups
