#include "LookupPages.h"

#include "OverviewPages.h"
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"

#include <array>
#include <charconv>

namespace kaldrani::standin {

namespace {

constexpr std::array<std::string_view, 12> kRegions = {
    "北京市", "上海市", "广东省 广州市", "广东省 深圳市", "浙江省 杭州市", "江苏省 南京市",
    "四川省 成都市", "湖北省 武汉市", "福建省 厦门市", "山东省 济南市", "陕西省 西安市", "辽宁省 大连市",
};
constexpr std::array<std::string_view, 4> kNetworks = {"电信", "联通", "移动", "教育网"};
constexpr std::array<std::string_view, 5> kRegistrars = {
    "万网 HiChina Zhicheng Technology Ltd.", "新网 Xin Net Technology Corporation", "中国互联网络信息中心",
    "商务中国 BizCN.com, Inc.", "易名中国 eName Technology Co., Ltd.",
};

bool isIpv4(std::string_view text)
{
    int parts = 0;
    while (true) {
        const auto dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || ec != std::errc() || end != part.data() + part.size() || value > 255)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            return parts == 4;
        text.remove_prefix(dot + 1);
    }
}

bool isHostName(std::string_view text)
{
    bool letter = false;
    for (const char c : text) {
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        letter = letter || alpha;
        if (!alpha && !(c >= '0' && c <= '9') && c != '-' && c != '.')
            return false;
    }
    return letter && text.find('.') != std::string_view::npos && text.front() != '.' && text.back() != '.'
           && text.find("..") == std::string_view::npos;
}

std::string pageHead(std::string_view title)
{
    return "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n"
           "<title>"
           + std::string(title) + "</title></head>\n<body>\n";
}

std::string twoDigits(std::uint64_t n)
{
    return n < 10 ? std::string(1, '0').append(std::to_string(n)) : std::to_string(n);
}

} // namespace

std::optional<PlaceFigures> placeOf(std::string_view asked)
{
    PlaceFigures place;
    if (isIpv4(asked)) {
        place.address = std::string(asked);
    } else if (isHostName(asked)) {
        const std::uint64_t h = fnv1a("address", asked);
        place.address = "198.51.100." + std::to_string(1 + h % 254);
    } else {
        return std::nullopt;
    }
    const std::uint64_t h = fnv1a("place", place.address);
    place.region = kRegions[h % kRegions.size()];
    place.network = kNetworks[(h >> 8) % kNetworks.size()];
    return place;
}

std::string whoisRecord(std::string_view domain)
{
    const std::uint64_t h = fnv1a("whois", domain);
    const std::uint64_t created = 1998 + h % 20;
    const std::string month = twoDigits(1 + (h >> 8) % 12), day = twoDigits(1 + (h >> 12) % 28);
    const std::string name(domain);
    std::string record;
    const auto line = [&record](const std::string& text) { record += text + "\n"; };
    line("Domain Name: " + name);
    line("Registrar: " + std::string(kRegistrars[(h >> 16) % kRegistrars.size()]));
    line("Whois Server: whois.hichina.com");
    line("Name Server: ns1." + name);
    line("Name Server: ns2." + name);
    line("Status: clientTransferProhibited");
    line("Creation Date: " + std::to_string(created) + "-" + month + "-" + day);
    line("Expiration Date: " + std::to_string(2027 + (h >> 20) % 5) + "-" + month + "-" + day);
    line("");
    line("Registrant Name: 站长" + std::to_string(100 + (h >> 24) % 900));
    line("Registrant Organization: " + name + " 网络工作室");
    line("Registrant Street: 科技路 " + std::to_string(1 + (h >> 32) % 200) + " 号");
    line("Registrant City: " + std::string(kRegions[(h >> 36) % kRegions.size()]));
    line("Registrant Email: admin@" + name);
    line("");
    line("Administrative Contact: hostmaster@" + name);
    line("Technical Contact: tech@" + name);
    return record;
}

void addLookupRoutes(StandinServer& server)
{
    server.addRoute(endpoints::kWhois, "/cgi-bin/whois", [](const Request& r) {
        const std::string domain = r.param("domain").value_or("");
        std::string html = pageHead("万网 域名WHOIS查询");
        html += "<form action=\"/cgi-bin/whois\">域名：<input name=\"domain\" value=\"" + htmlEscape(domain)
                + "\"></form>\n";
        if (domain.empty())
            html += "<p>请输入要查询的域名。</p>\n";
        else
            html += "<pre><!-- start -->\n" + htmlEscape(whoisRecord(domain)) + "友情提示：以上信息仅供参考。</pre>\n";
        return gbkPage(html + "</body></html>\n");
    });

    server.addRoute(endpoints::kMaker, "/ip/data/", [](const Request& r) {
        std::string html = pageHead("IP地址查询");
        const std::optional<std::string> asked = r.param("ip");
        if (!asked) {
            const auto own = placeOf(kStandinOwnAddress);
            html += "<div class=\"own\">您的IP是：" + own->address + "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;来自："
                    + own->region + " " + own->network + "\t</div>\n";
        } else if (const auto place = placeOf(*asked)) {
            html += "<div class=\"result\">您查询的IP:" + place->address + "<br>";
            if (place->address != *asked)
                html += "域名:" + htmlEscape(*asked) + "<br>";
            html += "所在地区:" + place->region + "<br>网络类型:" + place->network + "<br/></div>\n";
        } else {
            html += "<div class=\"result\">您输入的好像火星IP地址，请重新输入！</div>\n";
        }
        return gbkPage(html + "</body></html>\n");
    });
}

} // namespace kaldrani::standin
