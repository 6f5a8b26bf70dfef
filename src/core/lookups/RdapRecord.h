#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <string_view>
#include <vector>

namespace kaldrani::lookups {

// An RDAP answer that cannot be read as a domain record; the message says why.
class RdapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a domain's RDAP answer states, each field empty when the answer has none. Dates are
// "YYYY-MM-DD"; every text is valid UTF-8 without control characters, at most
// kMaxRdapFieldBytes long.
struct RdapRecord {
    std::string ldhName;
    std::string unicodeName;
    std::string registrar;
    std::string registrantOrganisation;
    std::string registered;
    std::string expires;
    std::string changed;
    std::vector<std::string> statuses;
    std::vector<std::string> nameservers;
    // The registrar's own RDAP answer for the domain ("rel": "related"), if linked.
    std::string relatedUrl;

    bool operator==(const RdapRecord&) const = default;
};

inline constexpr std::size_t kMaxRdapAnswerBytes = 4u << 20;
inline constexpr int kMaxRdapNesting = 64;
inline constexpr std::size_t kMaxRdapFieldBytes = 256;

// Reads an RDAP domain answer ([rfc9083] 5.3): the names, the "registration",
// "expiration" and "last changed" events, the status, the name servers' names, the
// entities with role "registrar" (its vCard "fn") and "registrant" (its vCard "org"), and
// the first "related" link of type application/rdap+json. A value of the wrong type is
// passed over. Raises RdapError for an answer over kMaxRdapAnswerBytes, nested deeper than
// kMaxRdapNesting (checked before parsing), not JSON, or not an object of class "domain".
RdapRecord readRdapDomain(std::string_view json);

// The record one field a line, each ended by CR LF, a missing field left out: 域名：
// (the A-label form in capitals, and the Unicode form before it for an international
// name), 注册商：, 注册人组织：, 注册日期：, 到期日期：, 更新日期：, one 域名状态：
// and one 域名服务器： line per value.
std::string rdapText(const RdapRecord& record);

// Fills each field record lacks from more (the registrar's answer), statuses and name
// servers only when record has none.
void addMissing(RdapRecord& record, const RdapRecord& more);

// Whether JSON bytes nest arrays and objects deeper than maxDepth, counted on the bytes
// with strings skipped, so that a hostile answer never reaches the parser's recursion.
bool jsonNestedDeeperThan(std::string_view bytes, int maxDepth);

} // namespace kaldrani::lookups
