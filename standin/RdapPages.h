#pragma once

#include "core/sys/LoopbackListener.h"

#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kaldrani::standin {

class StandinServer;

// The registration figures the stand-in's registries state for a domain (an A-label
// name, lower case): stable for a name, different across names. A name whose first label
// starts with "expiring" expires 20 days after today.
struct RegistrationFigures {
    std::string registrar;
    std::string registrant;
    std::string registered; // YYYY-MM-DD
    std::string expires;
    std::string changed;
};
RegistrationFigures registrationOf(std::string_view domain);

// The RDAP hosts: the registry of .com, .net and .网络, and the registrar its answers link to.
inline constexpr std::string_view kRdapRegistryHost = "rdap.verisign.com";
inline constexpr std::string_view kRdapRegistrarHost = "rdap.registrar.test";

// Installs IANA's bootstrap file ("data.iana.org/rdap/dns.json": .com, .net and .网络
// have RDAP, .cn and .中国 have not), the registry's domain answers (registration dates,
// status, name servers, a "related" link to the registrar) and the registrar's (the
// registrar's name and the registrant's organisation). "nosuch.com" is not registered (404).
void addRdapRoutes(StandinServer& server);

// Two port-43 whois servers on loopback, each on a thread of its own: IANA's, which names
// whois.cnnic.cn for "cn" and cwhois.cnnic.cn for "xn--fiqs8s" on a "refer:" line, and
// CNNIC's, which answers a .cn record in UTF-8 ("busy.cn": a refusal; "nosuch.cn": no
// record). Each reads one line, answers and closes.
class WhoisStandin {
public:
    // Raises std::runtime_error when a socket cannot be bound.
    WhoisStandin();
    ~WhoisStandin();
    WhoisStandin(const WhoisStandin&) = delete;
    WhoisStandin& operator=(const WhoisStandin&) = delete;

    int ianaPort() const { return m_iana.port(); }
    int cnnicPort() const { return m_cnnic.port(); }

    // The stand-in's answers, for the tests: IANA's for a TLD, CNNIC's for a domain.
    static std::string ianaAnswer(std::string_view tld);
    static std::string cnnicAnswer(std::string_view domain);

    void stop();

private:
    void serve(sys::LoopbackListener& listener, bool iana);

    sys::LoopbackListener m_iana;
    sys::LoopbackListener m_cnnic;
    std::vector<std::thread> m_threads;
    bool m_stopped = false;
};

} // namespace kaldrani::standin
