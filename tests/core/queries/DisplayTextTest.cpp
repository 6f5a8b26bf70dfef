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

TEST(KeywordDisplayText, EachKindOfOutcomeHasItsOwnText)
{
    using fetch::Failure;
    using fetch::FailureKind;
    struct Case {
        const char* name;
        SearchEngine engine;
        KeywordOutcome outcome;
        const char* shown;
    };
    const Case cases[] = {
        {"position", SearchEngine::Baidu, {{13}, std::nullopt}, "搜索排名第 13 位"},
        {"not found", SearchEngine::Bing, {{0}, std::nullopt}, "搜索排名第 0 位"},
        {"failed", SearchEngine::Baidu, {{}, Failure{FailureKind::Plain, "Read timed out."}}, "查询出错，请重试!"},
        {"failed: Google's own text", SearchEngine::Google, {{}, Failure{FailureKind::Plain, "x"}}, "查询失败，请重试!"},
        {"failed: Sogou's ASCII comma", SearchEngine::Sogou, {{}, Failure{FailureKind::Plain, "x"}}, "查询出错,请重试!"},
        {"refused", SearchEngine::Baidu, {{}, Failure{FailureKind::Blocked, "blocked: verification page"}},
         "被拦截：verification page"},
        {"switched off", SearchEngine::Bing, {{}, Failure{FailureKind::SwitchedOff, "switched off"}}, "已关闭"},
        {"retired", SearchEngine::Yahoo, {{}, Failure{FailureKind::Retired, "retired: 2013-09"}}, "已停用"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keywordResultText(c.engine, c.outcome), c.shown);
    }
    EXPECT_EQ(keywordProgressText(7), "正在查询第 7 页");
    EXPECT_EQ(kKeywordNotSelected, "未选择");
}
