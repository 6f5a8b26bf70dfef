#include "core/net/TRegExp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace kaldrani::net;

namespace {

std::vector<std::string> run(const std::string& pattern, const std::string& text, bool global, bool multiline = false,
                             bool ignoreCase = false)
{
    TRegExp re;
    re.setGlobal(global);
    re.setMultiline(multiline);
    re.setIgnoreCase(ignoreCase);
    re.setPattern(pattern);
    const TMatchCollection matches = re.Execute(text);
    std::vector<std::string> values;
    for (int i = 0; i < matches.Count(); ++i)
        values.push_back(matches.Item(i).Value);
    return values;
}

using V = std::vector<std::string>;

TEST(TRegExp, Dialect)
{
    struct Case {
        const char* name;
        const char* pattern;
        std::string text;
        bool global;
        bool multiline;
        V expected;
    };
    const Case cases[] = {
        {"dot skips line feed", "a.b", "a\nb a\rb", false, false, {"a\rb"}},
        {"lazy group spans lines", "找到相关网页((.|\\n)*?)篇", "找到相关网页约\r\n1,230篇 x 篇", false, false,
         {"找到相关网页约\r\n1,230篇"}},
        {"leftmost match only", "<strong>((.|\\n)*?)</strong>", "<strong>1</strong><strong>2</strong>", false, false,
         {"<strong>1</strong>"}},
        {"global without overlap", "aa", "aaaaa", true, false, {"aa", "aa"}},
        {"dollar ignores trailing line feed", "^abc$", "abc\n", false, false, {}},
        {"caret anchors at text start only", "^b", "a\nb", false, false, {}},
        {"multiline anchors at line feeds", "^b$", "a\nb\nc", false, true, {"b"}},
        {"word class is ascii", "^\\w+$", "域名", false, false, {}},
        {"word class letters digits underscore", "^\\w+$", "a_1Z", false, false, {"a_1Z"}},
        {"empty matches advance one character", "x*", "a百", true, false, {"", "", ""}},
        {"empty and non-empty mix", "b*", "abb", true, false, {"", "bb", ""}},
        {"case sensitive by default", "abc", "ABC", false, false, {}},
        {"repeated group after a skip to its prefix", "(abc)+d", "xabcabcabd abcabcd", false, false, {"abcabcd"}},
        {"leftmost of overlapping candidates", "a+b", "caab", false, false, {"aab"}},
        {"prefix found only after a line feed", "^ab$", "ab\nab", true, true, {"ab", "ab"}},
        {"quantified last literal", "ab*c", "xaac", false, false, {"ac"}},
        {"quantified chinese literal", "百+度", "百百度", false, false, {"百百度"}},
        {"top-level alternation", "ab|cd", "xcd ab", false, false, {"cd"}},
        {"alternation inside a group", "x(a|b)c", "xac xbc", true, false, {"xac", "xbc"}},
        {"escaped bar is a literal", "a\\|b", "ab a|b", false, false, {"a|b"}},
        {"bar inside a class", "a[|]b|c", "c a|b", false, false, {"c"}},
        {"prefix never present", "找到相关网页((.|\\n)*?)篇", "找到相关网 篇", false, false, {}},
        {"html with quotes", "<span class=\"bold\">当前排名：</span>((.|\\n)*?)>",
         "<span class=\"bold\">当前排名：</span>12</span>", false, false, {"<span class=\"bold\">当前排名：</span>12</span>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(c.pattern, c.text, c.global, c.multiline), c.expected);
    }
    EXPECT_EQ(run("abc", "xABC", false, false, true), V{"ABC"});
}

TEST(TRegExp, MatchPositions)
{
    TRegExp re;
    re.setGlobal(true);
    re.setPattern("\\d+");
    const auto m = re.Execute("a12 345");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.Item(0).FirstIndex, 1u);
    EXPECT_EQ(m.Item(1).FirstIndex, 4u);
    EXPECT_EQ(m.Item(1).Length(), 3u);
}

// The literal start of a pattern is looked for a few kilobytes at a time: a match lying
// across the edge of such a stretch, or after a long gap, must still be found.
TEST(TRegExp, MatchesAcrossLongGapsAndStretchEdges)
{
    TRegExp re;
    re.setGlobal(true);
    re.setPattern("<h3>(.*?)</h3>");
    for (const std::size_t gap : {0u, 4092u, 4093u, 4094u, 4095u, 4096u, 4097u, 8190u, 12288u, 100000u}) {
        SCOPED_TRACE(gap);
        const std::string text = std::string(gap, 'x') + "<h3>a</h3>" + std::string(gap, '<') + "<h3>b</h3><h3";
        const auto m = re.Execute(text);
        ASSERT_EQ(m.Count(), 2);
        EXPECT_EQ(m.Item(0).FirstIndex, gap);
        EXPECT_EQ(m.Item(1).FirstIndex, 2 * gap + 10);
    }
}

TEST(TRegExp, ErrorsCarryAMessage)
{
    TRegExp re;
    re.setPattern("((a)");
    try {
        re.Execute("a");
        FAIL() << "a bad pattern must raise";
    } catch (const RegExpError& e) {
        EXPECT_NE(std::string(e.what()).find("((a)"), std::string::npos);
    }
    re.setPattern("a");
    const auto m = re.Execute("b");
    EXPECT_EQ(m.Count(), 0);
    EXPECT_THROW(m.Item(0), RegExpError);
    EXPECT_THROW(m.Item(-1), RegExpError);
}

TEST(TRegExp, FirstMatchHelper)
{
    EXPECT_EQ(firstMatch("共((.|\\n)*?)条结果", "共约12万条结果 共3条结果"), "共约12万条结果");
    EXPECT_EQ(firstMatch("共((.|\\n)*?)条结果", "nothing"), "");
}

// The domain rule has nested quantifiers; a backtracking engine explodes on this input.
TEST(TRegExp, CraftedInputIsAnsweredInLinearTime)
{
    const char* domainRule = "^\\w+((-\\w+)|(\\.\\w+))*[A-Za-z0-9]+((\\.|-)[A-Za-z0-9]+)*\\.[A-Za-z]+$";
    std::string crafted;
    for (int i = 0; i < 5000; ++i)
        crafted += "a-a.";
    crafted += "!";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(run(domainRule, crafted, false).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(TRegExp, LongPagesDoNotExhaustTheStack)
{
    std::string page = "找到相关网页";
    page.append(4 << 20, '\n');
    page += "篇";
    EXPECT_EQ(run("找到相关网页((.|\\n)*?)篇", page, false).size(), 1u);
}

} // namespace

TEST(TRegExp, WalkingGivesExecutesMatchesAndStopsWhenAsked)
{
    const std::string text = "<h3>a</h3>x<h3></h3>\n<h3>中</h3><h3>b";
    for (const bool global : {true, false}) {
        SCOPED_TRACE(global ? "global" : "first only");
        kaldrani::net::TRegExp re;
        re.setPattern("<h3>((.|\\n)*?)</h3>");
        re.setGlobal(global);
        const auto all = re.Execute(text);
        std::vector<std::pair<std::string, std::size_t>> walked;
        re.forEachMatch(text, [&](std::string_view match, std::size_t at) {
            walked.emplace_back(match, at);
            return true;
        });
        ASSERT_EQ(walked.size(), static_cast<std::size_t>(all.Count()));
        for (int i = 0; i < all.Count(); ++i)
            EXPECT_EQ(walked[static_cast<std::size_t>(i)],
                      std::make_pair(all.Item(i).Value, all.Item(i).FirstIndex));
    }
    kaldrani::net::TRegExp re;
    re.setPattern("<h3>");
    re.setGlobal(true);
    int seen = 0;
    re.forEachMatch(text, [&](std::string_view, std::size_t) { return ++seen < 2; });
    EXPECT_EQ(seen, 2);
}

// Compiled patterns are shared across objects and threads: sharing must never carry one
// object's flags into another's, nor an old pattern past setPattern.
TEST(TRegExp, SharedCompiledPatternsKeepEachObjectsOwnSettings)
{
    const std::string text = "Abc\nabc";
    struct Case {
        const char* name;
        const char* pattern;
        bool ignoreCase;
        bool multiline;
        int matches;
    } const cases[] = {
        {"case kept", "abc", false, false, 1},
        {"case ignored", "abc", true, false, 2},
        {"case kept again after the ignoring one", "abc", false, false, 1},
        {"anchor at the text's start", "^abc", false, false, 0},
        {"anchor at each line", "^abc", false, true, 1},
        {"both", "^abc", true, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRegExp re;
        re.setGlobal(true);
        re.setIgnoreCase(c.ignoreCase);
        re.setMultiline(c.multiline);
        re.setPattern(c.pattern);
        EXPECT_EQ(re.Execute(text).Count(), c.matches);
    }
    TRegExp re;
    re.setPattern("abc");
    EXPECT_EQ(re.Execute(text).Item(0).FirstIndex, 4u);
    re.setPattern("Abc");
    EXPECT_EQ(re.Execute(text).Item(0).FirstIndex, 0u);
    re.setIgnoreCase(true);
    re.setPattern("ABC");
    EXPECT_EQ(re.Execute(text).Item(0).FirstIndex, 0u);

    // Many threads matching through one shared pattern at once.
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                TRegExp shared;
                shared.setPattern("找到相关网页((.|\\n)*?)篇");
                if (shared.Execute("前 找到相关网页约1,230篇 后").Count() == 1)
                    ++found;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(found.load(), 8 * 200);
}
