#pragma once

#include <string_view>

// The host of every web endpoint the program asks. Paths and query keys belong to the
// queries; only the hosts live here, so that one edit moves a service.
namespace kaldrani::endpoints {

inline constexpr std::string_view kBaidu = "www.baidu.com";
inline constexpr std::string_view kGoogle = "www.google.cn";
inline constexpr std::string_view kYahoo = "sitemap.cn.yahoo.com";
// Yahoo China's web search, where the keyword ranking looks (the counts ask its site map).
inline constexpr std::string_view kYahooSearch = "www.yahoo.cn";
inline constexpr std::string_view kSogou = "www.sogou.com";
inline constexpr std::string_view kSoso = "www.soso.com";
inline constexpr std::string_view kYoudao = "www.youdao.com";
inline constexpr std::string_view kBing = "cn.bing.com";

// The maker's site: PageRank, Alexa and IP services, the version page, the home page.
inline constexpr std::string_view kMaker = "www.kaldrani.com";
inline constexpr std::string_view kChinaRank = "www.chinarank.org.cn";
inline constexpr std::string_view kWhois = "www.hichina.com";

} // namespace kaldrani::endpoints
