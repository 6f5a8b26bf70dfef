#pragma once

#include "core/fetch/Outcome.h"
#include "core/profiles/Profile.h"

#include <string>
#include <string_view>

namespace kaldrani::lookups {

// What the whois box shows while a query runs, and for an empty result or any failure.
inline constexpr std::string_view kWhoisQuerying = "\r\n正在查询......";
inline constexpr std::string_view kWhoisFailure = "\r\n网络超时，请稍后重试...";

// The domain as sent: when the text holds "www." in any letter case, every "www." in
// small letters is removed (only those: the removal is case-sensitive).
std::string whoisDomain(const std::string& typed);

// The whois page's address for the typed text: the domain appended as targetText leaves
// it, so valid domain text goes out unchanged and a blank or control cannot break the request.
std::string whoisUrl(const std::string& typed);

// The record cut out of a fetched page: the text from "<!-- start -->" to "友情提示"
// (the whole page without them), both markers removed, every LF made CR LF (a CR already
// before it stays, giving CR CR LF); kWhoisFailure when that leaves nothing.
std::string whoisText(const std::string& page);

// The same with the whois service's profile given; raises fetch::BlockedPage when the
// page matches a blocked marker.
std::string whoisText(const profiles::Service& service, const std::string& page);

// One whois query of the typed text: what the box shows afterwards, kWhoisFailure with
// the failure's reason on any failure. Empty user agent, 2000 ms per read, no redirects.
// When the active profile's base is "current", QueryDomainRegistration instead (RDAP,
// else port 43). Never raises.
fetch::Outcome<std::string> QueryWhois(const std::string& typed);

} // namespace kaldrani::lookups
