#include "core/fetch/Patterns.h"
#include "core/net/TRegExp.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace kaldrani;

// Every pattern constant of the program. A query turns a pattern that does not compile
// into its failure value, so a typing mistake would pass unseen: new patterns join here.
struct Pattern {
    const char* name;
    std::string_view text;
};
const Pattern kPatterns[] = {
    {"Baidu count", patterns::kBaiduCount},
    {"Google indexed", patterns::kGoogleIndexed},
    {"Google backlinks", patterns::kGoogleBacklinks},
    {"strong (Yahoo, PageRank)", patterns::kStrong},
    {"Sogou count", patterns::kSogouCount},
    {"Soso count", patterns::kSosoCount},
    {"Youdao count", patterns::kYoudaoCount},
    {"Bing count", patterns::kBingCount},
    {"keyword: green address (Baidu)", patterns::kGreenAddress},
    {"keyword: cite (Google)", patterns::kCite},
    {"keyword: heading (Yahoo, Soso, Bing)", patterns::kHeading},
    {"keyword: Sogou address", patterns::kSogouAddress},
    {"keyword: Youdao address", patterns::kYoudaoAddress},
    {"Sogou rating", patterns::kSogouRating},
    {"ChinaRank", patterns::kChinaRank},
    {"whois record", patterns::kWhoisRecord},
    {"own address", patterns::kOwnAddress},
    {"IP lookup", patterns::kIpLookup},
    {"domain check", patterns::kDomain},
};

TEST(Patterns, EveryPatternConstantCompiles)
{
    for (const Pattern& p : kPatterns) {
        SCOPED_TRACE(p.name);
        net::TRegExp re;
        re.setPattern(std::string(p.text));
        EXPECT_NO_THROW(re.Execute("")) << p.text;
    }
    // The check itself must see a typing mistake.
    net::TRegExp broken;
    broken.setPattern("找到相关网页((.|\\n)*?篇");
    EXPECT_THROW(broken.Execute(""), net::RegExpError);
}

TEST(Patterns, ChinaRankPatternStartsWithTheMarkerItRemoves)
{
    EXPECT_TRUE(patterns::kChinaRank.starts_with(patterns::kChinaRankMarker));
}

} // namespace
