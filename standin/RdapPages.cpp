#include "RdapPages.h"

#include "LookupPages.h"
#include "OverviewPages.h"
#include "StandinServer.h"
#include "core/text/Ascii.h"

#include <nlohmann/json.hpp>

#include <sys/socket.h>

#include <array>
#include <chrono>
#include <ctime>
#include <stdexcept>

namespace kaldrani::standin {

namespace {

using nlohmann::json;

// Shapes follow [rfc9083] 5.3 and the gTLD registries' answers (a thin registry answer
// with a "related" link to the registrar's, as .com's is in 2026).
constexpr std::array<std::string_view, 4> kRdapRegistrars = {
    "Alibaba Cloud Computing (Beijing) Co., Ltd.", "Xin Net Technology Corporation", "eName Technology Co., Ltd.",
    "Chengdu West Dimension Digital Technology Co., Ltd.",
};

std::string twoDigits(std::uint64_t n)
{
    std::string out = n < 10 ? "0" : "";
    return out.append(std::to_string(n));
}

std::string dayAfterToday(int days)
{
    const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

std::string domainOf(const Request& r)
{
    return text::asciiLower(r.path.substr(r.path.rfind('/') + 1));
}

Response rdapAnswer(const json& body, int status = 200, std::string reason = "OK")
{
    Response r = utf8Page(body.dump(), "application/rdap+json");
    r.status = status;
    r.reason = std::move(reason);
    return r;
}

json vcard(std::initializer_list<json> properties)
{
    json items = json::array({json::array({"version", json::object(), "text", "4.0"})});
    for (const json& p : properties)
        items.push_back(p);
    return json::array({"vcard", items});
}

json notFound()
{
    return {{"errorCode", 404}, {"title", "Not Found"}, {"description", json::array({"No such domain."})}};
}

json registryAnswer(const std::string& domain, const std::string& self)
{
    const RegistrationFigures f = registrationOf(domain);
    const std::string registrar = "https://" + std::string(kRdapRegistrarHost) + "/domain/" + domain;
    json answer = {
        {"rdapConformance", json::array({"rdap_level_0", "icann_rdap_technical_implementation_guide_1"})},
        {"objectClassName", "domain"},
        {"handle", std::to_string(fnv1a("handle", domain) % 100000000) + "_DOMAIN_COM-VRSN"},
        {"ldhName", text::asciiUpper(domain)},
        {"links", json::array({{{"value", self}, {"rel", "self"}, {"href", self}, {"type", "application/rdap+json"}},
                               {{"value", registrar}, {"rel", "related"}, {"href", registrar},
                                {"type", "application/rdap+json"}}})},
        {"status", json::array({"client delete prohibited", "client transfer prohibited"})},
        {"entities", json::array({{{"objectClassName", "entity"},
                                   {"handle", std::to_string(1000 + fnv1a("iana", domain) % 3000)},
                                   {"roles", json::array({"registrar"})},
                                   {"vcardArray", vcard({json::array({"fn", json::object(), "text", f.registrar})})}}})},
        {"events", json::array({{{"eventAction", "registration"}, {"eventDate", f.registered + "T04:00:00Z"}},
                                {{"eventAction", "expiration"}, {"eventDate", f.expires + "T04:00:00Z"}},
                                {{"eventAction", "last changed"}, {"eventDate", f.changed + "T07:09:22Z"}},
                                {{"eventAction", "last update of RDAP database"},
                                 {"eventDate", dayAfterToday(0) + "T00:00:00Z"}}})},
        {"secureDNS", {{"delegationSigned", false}}},
        {"nameservers", json::array({{{"objectClassName", "nameserver"}, {"ldhName", "NS1." + text::asciiUpper(domain)}},
                                     {{"objectClassName", "nameserver"}, {"ldhName", "NS2." + text::asciiUpper(domain)}}})},
    };
    return answer;
}

json registrarAnswer(const std::string& domain)
{
    const RegistrationFigures f = registrationOf(domain);
    return {
        {"rdapConformance", json::array({"rdap_level_0"})},
        {"objectClassName", "domain"},
        {"ldhName", domain},
        {"entities",
         json::array({{{"objectClassName", "entity"},
                       {"roles", json::array({"registrant"})},
                       {"vcardArray", vcard({json::array({"fn", json::object(), "text", "REDACTED FOR PRIVACY"}),
                                             json::array({"org", json::object(), "text", f.registrant})})}}})},
    };
}

std::string tldBase(std::string_view tld)
{
    return "https://" + std::string(kRdapRegistryHost) + "/" + std::string(tld) + "/v1/";
}

// Reads one line of at most 512 bytes; false when the peer closed first or we stop.
bool readQuery(const sys::LoopbackListener& listener, int fd, std::string& line)
{
    while (line.find('\n') == std::string::npos && line.size() < 512) {
        if (!listener.waitReadable(fd))
            return false;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

RegistrationFigures registrationOf(std::string_view domain)
{
    const std::uint64_t h = fnv1a("registration", domain);
    const std::string month = twoDigits(1 + (h >> 8) % 12), day = twoDigits(1 + (h >> 12) % 28);
    RegistrationFigures f;
    f.registrar = std::string(kRdapRegistrars[(h >> 16) % kRdapRegistrars.size()]);
    f.registrant = std::string(domain.substr(0, domain.find('.'))) + " 网络科技有限公司";
    f.registered = std::to_string(1999 + h % 20) + "-" + month + "-" + day;
    f.expires = domain.starts_with("expiring") ? dayAfterToday(20) : std::to_string(2027 + (h >> 20) % 5) + "-" + month + "-" + day;
    f.changed = "2025-" + twoDigits(1 + (h >> 24) % 12) + "-" + twoDigits(1 + (h >> 28) % 28);
    return f;
}

void addRdapRoutes(StandinServer& server)
{
    server.addRoute("data.iana.org", "/rdap/dns.json", [](const Request&) {
        // [rfc9224] 4; the real file names every TLD with RDAP, and no .cn or .中国.
        const json file = {
            {"version", "1.0"},
            {"publication", "2026-12-01T18:00:02Z"},
            {"description", "RDAP bootstrap file for Domain Name System registrations"},
            {"services", json::array({json::array({json::array({"com"}), json::array({tldBase("com")})}),
                                      json::array({json::array({"net"}), json::array({tldBase("net")})}),
                                      json::array({json::array({"xn--io0a7i"}), json::array({tldBase("xn--io0a7i")})})})},
        };
        return utf8Page(file.dump(), "application/json");
    });
    for (const std::string_view tld : {"com", "xn--io0a7i"}) {
        server.addRoute(kRdapRegistryHost, std::string("/").append(tld).append("/v1/domain/*"), [tld](const Request& r) {
            const std::string domain = domainOf(r);
            if (domain.starts_with("nosuch."))
                return rdapAnswer(notFound(), 404, "Not Found");
            return rdapAnswer(registryAnswer(domain, tldBase(tld) + "domain/" + domain));
        });
    }
    // .net's service sends the client on, as a registry that moved its service does.
    server.addRoute(kRdapRegistryHost, "/net/v1/domain/*", [](const Request& r) {
        Response moved;
        moved.status = 301;
        moved.reason = "Moved Permanently";
        moved.headers.push_back({"Location", tldBase("com") + "domain/" + domainOf(r)});
        return moved;
    });
    server.addRoute(kRdapRegistrarHost, "/domain/*", [](const Request& r) {
        const std::string domain = domainOf(r);
        return domain.starts_with("nosuch.") ? rdapAnswer(notFound(), 404, "Not Found") : rdapAnswer(registrarAnswer(domain));
    });
}

WhoisStandin::WhoisStandin()
{
    m_threads.emplace_back([this] { serve(m_iana, true); });
    m_threads.emplace_back([this] { serve(m_cnnic, false); });
}

WhoisStandin::~WhoisStandin()
{
    stop();
}

void WhoisStandin::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_iana.wake();
    m_cnnic.wake();
    for (std::thread& t : m_threads)
        t.join();
}

std::string WhoisStandin::ianaAnswer(std::string_view tld)
{
    // whois.iana.org's TLD record, shortened; the "refer:" line is what clients follow.
    std::string answer = "% IANA WHOIS server\n% for more information on IANA, visit http://www.iana.org\n"
                         "% This query returned 1 object\n\n";
    if (tld == "cn" || tld == "xn--fiqs8s") {
        answer += std::string("refer:        ") + (tld == "cn" ? "whois.cnnic.cn" : "cwhois.cnnic.cn") + "\n\n";
        answer += "domain:       " + text::asciiUpper(tld) + "\n\norganisation: China Internet Network Information "
                  "Center (CNNIC)\n\nwhois:        "
                  + (tld == "cn" ? std::string("whois.cnnic.cn") : std::string("cwhois.cnnic.cn")) + "\n\n";
    } else {
        answer += "domain:       " + text::asciiUpper(tld) + "\n\n";
    }
    answer += "source:       IANA\n";
    return answer;
}

std::string WhoisStandin::cnnicAnswer(std::string_view domain)
{
    // The fields and their order as public parsers of whois.cnnic.cn's answers expect them
    // (parser templates for "whois.cnnic.cn/cn/Found", seen 2026-12).
    if (domain == "busy.cn")
        return "Queried interval is too short.\r\n";
    if (domain.starts_with("nosuch."))
        return "No matching record.\r\n";
    const RegistrationFigures f = registrationOf(domain);
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\r\n"; };
    line("Domain Name: " + std::string(domain));
    line("ROID: 20" + std::to_string(fnv1a("roid", domain) % 100000000000) + "-cn");
    line("Domain Status: clientTransferProhibited");
    line("Registrant: " + f.registrant);
    line("Registrant Contact Email: admin@" + std::string(domain));
    line("Sponsoring Registrar: 阿里云计算有限公司（万网）");
    line("Name Server: dns1.hichina.com");
    line("Name Server: dns2.hichina.com");
    line("Registration Time: " + f.registered + " 10:21:33");
    line("Expiration Time: " + f.expires + " 10:21:33");
    line("DNSSEC: unsigned");
    return out;
}

void WhoisStandin::serve(sys::LoopbackListener& listener, bool iana)
{
    for (;;) {
        const sys::UniqueFd fd = listener.accept();
        if (!fd)
            return;
        std::string query;
        if (!readQuery(listener, fd.get(), query))
            continue;
        const std::string answer = iana ? ianaAnswer(text::asciiLower(query)) : cnnicAnswer(text::asciiLower(query));
        ::send(fd.get(), answer.data(), answer.size(), MSG_NOSIGNAL);
    }
}

} // namespace kaldrani::standin
