#include "FailingServices.h"
#include "StandinFixture.h"
#include "core/fetch/Endpoints.h"
#include "core/net/HttpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace kaldrani::testing {
namespace {

class FailingServicesTest : public StandinTest {
protected:
    // The status line of the answer, "200" style, or the fetch's failure text.
    static std::string ask(std::string_view host, const std::string& target, std::string* body = nullptr)
    {
        net::THttpClient client;
        client.ReadTimeout = 1000;
        try {
            const std::string page = client.FetchPage("http://" + std::string(host) + target);
            if (body)
                *body = page;
            return "200";
        } catch (const net::HttpStatusError& e) {
            return std::to_string(e.code());
        } catch (const net::NetError& e) {
            return e.what();
        }
    }
};

TEST_F(FailingServicesTest, FailsOnlyTheNamedServicesInTheNamedWay)
{
    standin::failServices(server, "baidu,alexa:empty,,chinarank:slow");

    EXPECT_EQ(ask(endpoints::kBaidu, "/s?wd=site:a.com"), "503");
    std::string alexa;
    EXPECT_EQ(ask(endpoints::kMaker, "/api/alexa.asp?d=a.com", &alexa), "200");
    EXPECT_EQ(alexa, "");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(endpoints::kChinaRank, "/overview/Info.do?url=a.com"), "Read timed out.");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));

    std::string google;
    EXPECT_EQ(ask(endpoints::kGoogle, "/search?hl=zh-CN&q=site:a.com", &google), "200");
    EXPECT_NE(google.find("<b>"), std::string::npos);
    EXPECT_EQ(ask(endpoints::kMaker, "/pr/?domain=a.com"), "200");
}

TEST_F(FailingServicesTest, RefusesUnknownNamesAndWays)
{
    for (const char* list : {"baidoo", "baidu:later", "baidu,,nope", "BAIDU"}) {
        SCOPED_TRACE(list);
        EXPECT_THROW(standin::failServices(server, list), std::invalid_argument);
    }
}

} // namespace
} // namespace kaldrani::testing
