#include "core/fetch/Patterns.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ActiveProfile.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace kaldrani;

void expectCompiles(const std::string& pattern)
{
    net::TRegExp re;
    re.setPattern(pattern);
    EXPECT_NO_THROW(re.Execute("")) << pattern;
}

// A query turns a pattern that does not compile into its failure value, so a typing
// mistake would pass unseen: every pattern of the default profile, and the program's own.
TEST(Patterns, EveryPatternCompiles)
{
    for (const profiles::Service& s : profiles::defaultProfile().services) {
        SCOPED_TRACE(s.name);
        if (!s.pattern.empty())
            expectCompiles(s.pattern);
        for (const std::string& marker : s.blocked)
            expectCompiles(marker);
    }
    expectCompiles(std::string(patterns::kDomain));
    // The check itself must see a typing mistake.
    net::TRegExp broken;
    broken.setPattern("找到相关网页((.|\\n)*?篇");
    EXPECT_THROW(broken.Execute(""), net::RegExpError);
}

TEST(Patterns, ChinaRankPatternStartsWithTheMarkerItRemoves)
{
    const profiles::Service* chinaRank = profiles::defaultProfile().find("rank.chinarank");
    ASSERT_NE(chinaRank, nullptr);
    ASSERT_FALSE(chinaRank->removals.empty());
    EXPECT_TRUE(chinaRank->pattern.starts_with(chinaRank->removals.front().from));
    EXPECT_EQ(chinaRank->removals.front().from, "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">");
}

} // namespace
