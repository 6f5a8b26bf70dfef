#pragma once

#include "core/fetch/Outcome.h"
#include "core/profiles/Profile.h"

#include <string>
#include <string_view>

namespace kaldrani::lookups {

// The IP box's texts: the hint in the input box, while a lookup runs, a place the
// service cannot find, and a failed lookup (ASCII comma, unlike the whois text).
inline constexpr std::string_view kIpHint = "请输入IP地址或者域名";
inline constexpr std::string_view kIpQuerying = "正在查询...";
inline constexpr std::string_view kIpNotFound = "查询失败 !";
inline constexpr std::string_view kIpFailure = "网络超时,请稍后重试...";

// The IP service's page that states the asker's own address (no query).
std::string ownAddressUrl();

// The own address cut out of the service's page: the text from "您的IP是：" to "</div>"
// (the whole page without them), each five "&nbsp;" in a row made CR LF, every
// "\t</div>" removed.
std::string ownAddressText(const std::string& page);

// The lookup address for the typed text: "ip=" and the text with every "http://" (small
// letters only) removed, then as targetText leaves it; nothing else is removed.
std::string ipLookupUrl(const std::string& typed);

// The answer cut out of a lookup page: the text from "您查询的IP:" to "<br/>" (the whole
// page without them); kIpNotFound when that holds "您输入的好像火星IP"; then "&nbsp;"
// removed, ":" made "：", "<br>" made CR LF, "<br/>" removed, in this order.
std::string ipLookupText(const std::string& page);

// The same two with the service's profile given; each raises fetch::BlockedPage when the
// page matches a blocked marker.
std::string ownAddressText(const profiles::Service& service, const std::string& page);
std::string ipLookupText(const profiles::Service& service, const std::string& page);

// The own-address query: what the IP box shows afterwards, empty with the failure's
// reason on any failure. The client's default user agent, no redirects, every wait
// (connect included) bounded by the queries' safety bound. Never raises; safe to call
// from any thread.
fetch::Outcome<std::string> QueryOwnAddress();

// One lookup of the typed text: what the IP box shows afterwards, kIpFailure with the
// failure's reason on any failure. Settings as QueryOwnAddress. Never raises; safe to
// call from any thread.
fetch::Outcome<std::string> QueryIpLookup(const std::string& typed);

} // namespace kaldrani::lookups
