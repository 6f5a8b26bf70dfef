#include "core/text/DomainName.h"

#include <gtest/gtest.h>

namespace kaldrani::text {
namespace {

TEST(DomainName, EitherFormGivesBoth)
{
    struct Case {
        const char* name;
        const char* typed;
        const char* unicode;
        const char* ascii;
    };
    const Case cases[] = {
        {"Unicode", "例子.中国", "例子.中国", "xn--fsqu00a.xn--fiqs8s"},
        {"A-labels", "xn--fsqu00a.xn--fiqs8s", "例子.中国", "xn--fsqu00a.xn--fiqs8s"},
        {"A-labels in capitals", "XN--FSQU00A.XN--FIQS8S", "例子.中国", "xn--fsqu00a.xn--fiqs8s"},
        {"mixed forms", "公司.xn--io0a7i", "公司.网络", "xn--55qx5d.xn--io0a7i"},
        {"ASCII in capitals", "Example.COM", "example.com", "example.com"},
        {"blanks and a final dot", "  example.com. ", "example.com", "example.com"},
        {"ideographic full stop", "例子。中国", "例子.中国", "xn--fsqu00a.xn--fiqs8s"},
        // The transitional rules would make ß "ss" and send another name.
        {"sharp s kept", "faß.de", "faß.de", "xn--fa-hia.de"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DomainForms forms = domainForms(c.typed);
        EXPECT_EQ(forms.unicode, c.unicode);
        EXPECT_EQ(forms.ascii, c.ascii);
    }
}

TEST(DomainName, InvalidNamesAreRefusedWithAReason)
{
    struct Case {
        const char* name;
        std::string typed;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blanks only", "   "},
        {"one label", "localhost"},
        {"empty label", "a..com"},
        {"blank inside", "a b.com"},
        {"underscore", "a_b.com"},
        {"control", "a\r\nb.com"},
        {"NUL", std::string("a\0b.com", 7)},
        {"bad UTF-8", "\xff\xfe.com"},
        {"leading hyphen", "-a.com"},
        {"A-label that decodes to nothing valid", "xn--abc.com"},
        {"symbol IDNA 2008 disallows", "\xe2\x98\x83.com"},
        {"label over 63 bytes", std::string(64, 'a') + ".com"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            domainForms(c.typed);
            ADD_FAILURE() << "accepted";
        } catch (const DomainNameError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("域名无效：", 0), 0u) << e.what();
        }
    }
}

} // namespace
} // namespace kaldrani::text
