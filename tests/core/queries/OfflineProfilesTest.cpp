// Each default profile's extraction over the stand-in's own pages, without a socket: the
// stand-in's handlers are called directly with the request each service's address makes.
#include "KeywordPages.h"
#include "LookupPages.h"
#include "OverviewPages.h"
#include "StandinServer.h"
#include "core/lookups/IpQuery.h"
#include "core/lookups/WhoisQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/EngineCount.h"
#include "core/queries/KeywordSearch.h"
#include "core/queries/QueryTerm.h"
#include "core/queries/RankQueries.h"
#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kaldrani;

class OfflineProfiles : public ::testing::Test {
protected:
    // The page the stand-in answers to url, decoded as service's form reads it.
    std::string pageFor(const profiles::Service& service, const std::string& url) const
    {
        standin::Request r;
        r.method = "GET";
        const std::size_t hostAt = url.find("://") + 3;
        const std::size_t pathAt = url.find('/', hostAt);
        r.host = text::asciiLower(url.substr(hostAt, pathAt - hostAt));
        r.target = url.substr(pathAt);
        const std::size_t q = r.target.find('?');
        r.path = r.target.substr(0, q);
        r.query = q == std::string::npos ? "" : r.target.substr(q + 1);
        const standin::Handler handler = server.route(r.host, r.path);
        if (!handler)
            throw std::runtime_error("the stand-in has no page at " + url);
        const standin::Response answer = handler(r);
        EXPECT_EQ(answer.status, 200) << url;
        if (service.form == profiles::PageForm::Stream)
            return text::gbkToUtf8(answer.body);
        for (const auto& [name, value] : answer.headers)
            if (text::asciiLower(name) == "content-type" && text::asciiLower(value).find("utf-8") != std::string::npos)
                return text::sanitizeUtf8(answer.body);
        return text::latin1ToUtf8(answer.body);
    }

    const profiles::Service& service(std::string_view name) const
    {
        const profiles::Service* s = profiles::defaultProfile().find(name);
        if (s == nullptr)
            throw std::out_of_range(std::string(name));
        return *s;
    }

    standin::StandinServer server;
};

TEST_F(OfflineProfiles, CountsAndRanksReadTheStandinsFigures)
{
    for (const char* domain : {"example.com", "kaldrani-demo.cn"}) {
        SCOPED_TRACE(domain);
        const standin::OverviewFigures figures = standin::overviewFigures(domain);
        for (const SearchEngine e : kSearchEngines)
            for (const CountKind k : kCountKinds) {
                const profiles::Service& s = service(profiles::countService(e, k));
                SCOPED_TRACE(s.name);
                const std::string shown = queries::countTextOf(s, pageFor(s, s.url({{"site", domain}})));
                const auto& wanted = k == CountKind::Indexed ? figures.indexed : figures.backlinks;
                EXPECT_EQ(shown, std::to_string(wanted[engineIndex(e)]));
            }
        const auto page = [&](std::string_view name) { return pageFor(service(name), service(name).url({{"site", domain}})); };
        EXPECT_EQ(queries::pageRankOf(service(profiles::kPageRank), page(profiles::kPageRank)), figures.pageRank);
        EXPECT_EQ(queries::sogouRatingOf(service(profiles::kSogouRating), page(profiles::kSogouRating)), figures.sogouRating);
        EXPECT_EQ(queries::alexaRankOf(service(profiles::kAlexaRank), page(profiles::kAlexaRank)),
                  std::to_string(figures.alexaRank));
        EXPECT_EQ(queries::chinaRankOf(service(profiles::kChinaRank), page(profiles::kChinaRank)),
                  std::to_string(figures.chinaRank));
    }
}

TEST_F(OfflineProfiles, KeywordScannersFindTheSiteWhereTheStandinListsIt)
{
    const std::string site = "example.com";
    int listed = 0;
    for (const char* keyword : {"网站优化", "seo", "A++ 教程"}) {
        for (const SearchEngine e : kSearchEngines) {
            const profiles::Service& s = service(profiles::keywordService(e));
            SCOPED_TRACE(s.name + " " + keyword);
            const std::string term = queries::EncodeQueryTerm(queries::termBytes(
                s.termEncoding == profiles::TermEncoding::Utf8 ? queries::TermBytes::Utf8 : queries::TermBytes::Gbk,
                keyword));
            const auto pageUrl = [&](long long p) {
                return s.url({{"keyword", term}, {"page", std::to_string(s.pageValue(p))}});
            };
            const std::optional<int> rank = standin::keywordRank(e, site, keyword);
            if (!rank) {
                EXPECT_EQ(queries::keywordHitOnPage(s, site, pageFor(s, pageUrl(1))), -1);
                continue;
            }
            ++listed;
            const long long page = (*rank - 1) / standin::kKeywordResultsPerPage + 1;
            EXPECT_EQ(queries::keywordHitOnPage(s, site, pageFor(s, pageUrl(page))),
                      (*rank - 1) % standin::kKeywordResultsPerPage);
            if (page > 1) {
                EXPECT_EQ(queries::keywordHitOnPage(s, site, pageFor(s, pageUrl(page - 1))), -1);
            }
        }
    }
    // The check is worth something only if the stand-in lists the site somewhere.
    EXPECT_GT(listed, 0);
}

TEST_F(OfflineProfiles, LookupsReadTheStandinsRecords)
{
    const profiles::Service& whois = service(profiles::kWhois);
    const std::string record = lookups::whoisText(whois, pageFor(whois, whois.url({{"domain", "example.com"}})));
    std::string expected = standin::whoisRecord("example.com");
    EXPECT_NE(record.find(expected.substr(0, expected.find('\n'))), std::string::npos) << record;
    EXPECT_EQ(record.find("<!-- start -->"), std::string::npos);

    const profiles::Service& own = service(profiles::kOwnAddress);
    EXPECT_NE(lookups::ownAddressText(own, pageFor(own, own.url({}))).find(standin::kStandinOwnAddress), std::string::npos);

    const profiles::Service& ip = service(profiles::kIpLookup);
    const std::string place = lookups::ipLookupText(ip, pageFor(ip, ip.url({{"address", "192.0.2.1"}})));
    const std::optional<standin::PlaceFigures> figures = standin::placeOf("192.0.2.1");
    ASSERT_TRUE(figures);
    EXPECT_NE(place.find("192.0.2.1"), std::string::npos) << place;
    EXPECT_NE(place.find(figures->region), std::string::npos) << place;
}

} // namespace
