#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kaldrani::standin {

class StandinServer;

// The Tranco rank the stand-in gives domain, or nothing for one it lists no rank for
// (every name that starts with "unranked", and about one in five others).
std::optional<std::int64_t> trancoRank(std::string_view domain);

// The Baidu count wording a site: page for domain uses: 0 百度为您找到相关结果约N个,
// 1 找到相关结果数约N个, 2 the site box 该网站共有 <b>N</b> 个网页被百度收录.
int baiduWording(std::string_view domain);

// Installs the services as they are today over the old pages: Baidu, Sogou and Bing in
// today's UTF-8 markup (gzip when asked), each refusing a client without a browser's
// User-Agent as it does (Baidu and Sogou by a redirect to their verification page, Bing
// by a captcha page); Tranco's ranks API; ipify's own address. The figures are those of
// overviewFigures and keywordRank.
void addCurrentRoutes(StandinServer& server);

// bytes as a gzip member, as the services send a coded answer (and the tests a download).
// Raises std::runtime_error when zlib cannot make it.
std::string gzipped(std::string_view bytes);

} // namespace kaldrani::standin
