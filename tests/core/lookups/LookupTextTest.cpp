#include "core/lookups/IpQuery.h"
#include "core/lookups/TargetText.h"
#include "core/lookups/WhoisQuery.h"

#include <gtest/gtest.h>

#include <string>

namespace kaldrani::lookups {
namespace {

const std::string kTimeoutText = "\r\n网络超时，请稍后重试...";

std::string nbsp(int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += "&nbsp;";
    return out;
}

TEST(WhoisText, DomainAsSent)
{
    struct Case {
        const char* name;
        const char* typed;
        const char* url;
    };
    const Case cases[] = {
        {"plain", "example.com", "http://www.hichina.com/cgi-bin/whois?domain=example.com"},
        {"leading www. removed", "www.example.com", "http://www.hichina.com/cgi-bin/whois?domain=example.com"},
        {"capital WWW. found but not removed", "WWW.example.com",
         "http://www.hichina.com/cgi-bin/whois?domain=WWW.example.com"},
        {"mixed case found, only the small one removed", "Www.www.example.com",
         "http://www.hichina.com/cgi-bin/whois?domain=Www.example.com"},
        {"every small www. wherever it stands", "a.www.example.www.cn",
         "http://www.hichina.com/cgi-bin/whois?domain=a.example.cn"},
        {"www without its dot stays", "wwwexample.com", "http://www.hichina.com/cgi-bin/whois?domain=wwwexample.com"},
        {"empty", "", "http://www.hichina.com/cgi-bin/whois?domain="},
        {"valid text unchanged", "例子.cn/a-b_c~d", "http://www.hichina.com/cgi-bin/whois?domain=例子.cn/a-b_c~d"},
        {"a blank encoded", "a b.com", "http://www.hichina.com/cgi-bin/whois?domain=a%20b.com"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(whoisUrl(c.typed), c.url);
    }
}

TEST(TargetText, EncodesWhatMayNotStandInARequestTarget)
{
    struct Case {
        const char* name;
        std::string typed;
        std::string sent;
    };
    const Case cases[] = {
        {"domain", "example.com", "example.com"},
        {"address and IPv6", "192.0.2.1 2001:db8::1", "192.0.2.1%202001:db8::1"},
        {"every character a query may hold", "az09-._~!$&'()*+,;=:@/?", "az09-._~!$&'()*+,;=:@/?"},
        {"a percent-encoded octet kept", "a%2Fb%e4", "a%2Fb%e4"},
        {"a percent that encodes nothing", "100%", "100%25"},
        {"a percent with one digit", "%4g", "%254g"},
        {"request line split", "a\r\nHost: evil", "a%0D%0AHost:%20evil"},
        {"NUL, TAB, ESC and DEL", std::string("a\0\t\x1B\x7F", 5), "a%00%09%1B%7F"},
        {"delimiters a query may not hold", "\"#<>[\\]^`{|}", "%22%23%3C%3E%5B%5C%5D%5E%60%7B%7C%7D"},
        {"non-ASCII left to the request writer", "例子", "例子"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(targetText(c.typed), c.sent);
    }
}

TEST(WhoisText, RecordCutFromThePage)
{
    struct Case {
        const char* name;
        std::string page;
        std::string shown;
    };
    const Case cases[] = {
        {"record between the markers, LF made CR LF",
         "<html>head\n<!-- start -->\nDomain Name: example.com\nRegistrar: R\n友情提示：tail\n</html>",
         "\r\nDomain Name: example.com\r\nRegistrar: R\r\n"},
        {"CR LF lines become CR CR LF", "<!-- start -->a\r\nb\r\n友情提示", "a\r\r\nb\r\r\n"},
        {"first end marker ends the record", "<!-- start -->a友情提示b友情提示", "a"},
        {"tags between the markers are kept", "<!-- start --><pre>x</pre>友情提示", "<pre>x</pre>"},
        {"no start marker: the whole page, end marker removed", "<p>a\n友情提示 b</p>", "<p>a\r\n b</p>"},
        {"no end marker: the whole page, start marker removed", "x<!-- start -->y\n", "xy\r\n"},
        {"start marker twice: both removed", "<!-- start -->a<!-- start -->b友情提示", "ab"},
        {"markers only", "<!-- start -->友情提示", kTimeoutText},
        {"empty page", "", kTimeoutText},
        {"a lone LF is a line", "\n", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(whoisText(c.page), c.shown);
    }
}

TEST(IpText, OwnAddressCutFromThePage)
{
    struct Case {
        const char* name;
        std::string page;
        std::string shown;
    };
    const Case cases[] = {
        {"address and place",
         "<div class=\"ip\">您的IP是：198.51.100.7&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;来自：上海市 电信\t</div>\n</body>",
         "您的IP是：198.51.100.7\r\n来自：上海市 电信"},
        {"match spans lines", "您的IP是：1.2.3.4\n上海\t</div>x</div>", "您的IP是：1.2.3.4\n上海"},
        {"four &nbsp; stay", "您的IP是：a" + nbsp(4) + "b</div>", "您的IP是：a" + nbsp(4) + "b</div>"},
        {"ten &nbsp; make two line breaks", "您的IP是：a" + nbsp(10) + "b</div>", "您的IP是：a\r\n\r\nb</div>"},
        {"seven &nbsp; leave two", "您的IP是：a" + nbsp(7) + "b</div>", "您的IP是：a\r\n" + nbsp(2) + "b</div>"},
        {"closing tag without a tab stays", "您的IP是：a</div>", "您的IP是：a</div>"},
        {"ASCII colon is no marker: whole page", "您的IP是:a\t</div><p>", "您的IP是:a<p>"},
        {"empty page", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ownAddressText(c.page), c.shown);
    }
}

TEST(IpText, LookupAddressAsTyped)
{
    struct Case {
        const char* name;
        const char* typed;
        const char* url;
    };
    const Case cases[] = {
        {"address", "192.0.2.1", "http://www.kaldrani.com/ip/data/?ip=192.0.2.1"},
        {"empty box", "", "http://www.kaldrani.com/ip/data/?ip="},
        {"the hint itself", "请输入IP地址或者域名", "http://www.kaldrani.com/ip/data/?ip=请输入IP地址或者域名"},
        {"http:// removed", "http://example.com", "http://www.kaldrani.com/ip/data/?ip=example.com"},
        {"every http:// removed", "http://http://a/http://b", "http://www.kaldrani.com/ip/data/?ip=a/b"},
        {"https:// kept", "https://example.com", "http://www.kaldrani.com/ip/data/?ip=https://example.com"},
        {"HTTP:// kept", "HTTP://example.com", "http://www.kaldrani.com/ip/data/?ip=HTTP://example.com"},
        {"a blank encoded, & kept", "a b&c", "http://www.kaldrani.com/ip/data/?ip=a%20b&c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ipLookupUrl(c.typed), c.url);
    }
    EXPECT_EQ(ownAddressUrl(), "http://www.kaldrani.com/ip/data/");
}

TEST(IpText, LookupAnswerCutFromThePage)
{
    struct Case {
        const char* name;
        std::string page;
        std::string shown;
    };
    const Case cases[] = {
        {"address, colon full-width, closing <br/> removed", "<p>您查询的IP:192.0.2.1<br/></p>", "您查询的IP：192.0.2.1"},
        {"place lines", "您查询的IP:192.0.2.1<br>&nbsp;&nbsp;来自:广东省 深圳市<br/>x",
         "您查询的IP：192.0.2.1\r\n来自：广东省 深圳市"},
        {"every ASCII colon turns full-width", "您查询的IP:2001:db8::1 12:30<br/>", "您查询的IP：2001：db8：：1 12：30"},
        {"only the first match counts", "您查询的IP:a<br/>您查询的IP:b<br/>", "您查询的IP：a"},
        {"unplaced outside the match, match wins", "您查询的IP:a<br/>您输入的好像火星IP", "您查询的IP：a"},
        {"unplaced inside the match", "您查询的IP:您输入的好像火星IP哦<br/>", "查询失败 !"},
        {"no match, unplaced in the page", "<html>您输入的好像火星IP地址</html>", "查询失败 !"},
        {"no marker: the whole page after the replacements", "<p>a:b<br>c<br/></p>", "<p>a：b\r\nc</p>"},
        {"full-width colon after IP is no marker", "您查询的IP：a<br/>", "您查询的IP：a"},
        {"<br/> inside the replacement order: <br> first", "x<br><br/>y", "x\r\ny"},
        {"empty page", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ipLookupText(c.page), c.shown);
    }
}

} // namespace
} // namespace kaldrani::lookups
