#include "core/queries/DisplayText.h"
#include "core/queries/EngineCount.h"
#include "core/queries/RankQueries.h"

#include <gtest/gtest.h>

using namespace kaldrani;
using namespace kaldrani::queries;

namespace {

std::string repeat(const std::string& piece, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += piece;
    return out;
}

} // namespace

TEST(DisplayText, CutsAfterTheBoundNeverInsideACharacter)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"12,345", "12,345"},
        {std::string(1024, '7'), std::string(1024, '7')},
        {std::string(1025, '7'), std::string(1024, '7')},
        {repeat("约", 2000), repeat("约", 1024)},
        {'x' + repeat("𠀀", 1100), 'x' + repeat("𠀀", 1023)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(boundDisplayText(c.in), c.out) << c.in.substr(0, 20);
}

// Each text a page gives for the display and the record is bounded, whatever the match.
TEST(DisplayText, PageTextsAreBounded)
{
    const std::string huge = repeat("八", 5000);
    EXPECT_EQ(engineCountFromPage(SearchEngine::Baidu, CountKind::Indexed, "找到相关网页" + huge + "篇"), repeat("八", 1024));
    EXPECT_EQ(engineCountFromPage(SearchEngine::Bing, CountKind::Backlinks, "条结果，共 1,234 条"), "1234");
    EXPECT_EQ(alexaRankFromReply("  " + huge + "\r\n"), repeat("八", 1024));
    EXPECT_EQ(alexaRankFromReply(" \r\n"), "查询失败");
    EXPECT_EQ(chinaRankFromPage("<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">" + huge + "</span>"),
              repeat("八", 1024));
    EXPECT_EQ(chinaRankFromPage("nothing here"), "0");
}
