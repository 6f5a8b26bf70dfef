#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The default host of each service, as the embedded classic profile gives it: the one
// place the hosts are written is that profile. The stand-in answers at these hosts, and
// the maker's site is where the windows send the user.
namespace kaldrani::endpoints {

// The host of the default profile's service `service`; reads like a string_view.
class DefaultHost {
public:
    constexpr explicit DefaultHost(std::string_view service) : m_service(service) { }

    // Raises std::out_of_range when the classic profile has no such service.
    std::string_view view() const;
    operator std::string_view() const { return view(); }
    const char* data() const { return view().data(); }
    std::size_t size() const { return view().size(); }
    explicit operator std::string() const { return std::string(view()); }

private:
    std::string_view m_service;
};

inline constexpr DefaultHost kBaidu{"count.baidu.indexed"};
inline constexpr DefaultHost kGoogle{"count.google.indexed"};
inline constexpr DefaultHost kYahoo{"count.yahoo.indexed"};
// Yahoo China's web search, where the keyword ranking looks (the counts ask its site map).
inline constexpr DefaultHost kYahooSearch{"keyword.yahoo"};
inline constexpr DefaultHost kSogou{"count.sogou.indexed"};
inline constexpr DefaultHost kSoso{"count.soso.indexed"};
inline constexpr DefaultHost kYoudao{"count.youdao.indexed"};
inline constexpr DefaultHost kBing{"count.bing.indexed"};

// The maker's site: PageRank, Alexa and IP services, the version page, the home page.
inline constexpr DefaultHost kMaker{"version"};
inline constexpr DefaultHost kChinaRank{"rank.chinarank"};
inline constexpr DefaultHost kWhois{"lookup.whois"};

} // namespace kaldrani::endpoints
