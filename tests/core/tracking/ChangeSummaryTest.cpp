#include "core/tracking/ChangeSummary.h"
#include "core/tracking/DesktopNotice.h"
#include "core/tracking/KeywordScanRecord.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

using namespace kaldrani;
using namespace kaldrani::tracking;

namespace {

using State = records::KeywordResult::State;
using What = ChangeLine::What;

TEST(CountChange, TellsMovesBeyondTheThresholdAndFailuresEitherWay)
{
    struct Case {
        const char* name;
        std::optional<std::string> before;
        queries::Figure now;
        bool line;
        bool moved;
        std::string tsv; // BEFORE TAB AFTER TAB REASON when there is a line
    };
    const Case cases[] = {
        {"first record", std::nullopt, {"1200", ""}, false, false, ""},
        {"first record failed", std::nullopt, {"0", "Read timed out."}, true, false, "\tfail\tRead timed out."},
        {"up 25%", "1200", {"1500", ""}, true, true, "1200\t1500\t"},
        {"down 11%", "1000", {"890", ""}, true, true, "1000\t890\t"},
        {"exactly 10% is no move", "1000", {"1100", ""}, false, false, ""},
        {"grouped digits read", "1,000", {"2,000", ""}, true, true, "1000\t2000\t"},
        {"positive count began failing", "1000", {"0", "Socket Error # 111"}, true, true, "1000\tfail\tSocket Error # 111"},
        {"a stored 0 may have been a failure", "0", {"0", "Read timed out."}, true, false, "0\tfail\tRead timed out."},
        {"stopped failing", "查询失败", {"300", ""}, true, true, "fail\t300\t"},
        {"from 0 to some", "0", {"5", ""}, true, true, "0\t5\t"},
        {"0 stays 0", "0", {"0", ""}, false, false, ""},
        {"leftover text now is no number", "100", {"约100", ""}, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto line = countChange("example.com", {SearchEngine::Google, CountKind::Backlinks}, c.before, c.now, {});
        ASSERT_EQ(line.has_value(), c.line);
        if (!line)
            continue;
        EXPECT_EQ(line->moved, c.moved);
        EXPECT_EQ(changeTsv(*line), "example.com\tbacklinks\t\tgoogle\t" + c.tsv);
    }
}

records::KeywordRecord keywordRecord(std::vector<records::KeywordResult> results)
{
    records::KeywordRecord r;
    r.keyword = "网站优化";
    for (std::size_t i = 0; i < results.size(); ++i)
        r.results[i] = results[i];
    return r;
}

TEST(KeywordChanges, TellsMovesEntriesExitsAndFailuresInEngineOrder)
{
    const records::KeywordResult at3{State::Position, 3, {}}, at5{State::Position, 5, {}}, at6{State::Position, 6, {}},
        none{State::NotFound, 0, {}}, off{State::NotSelected, 0, {}}, failed{State::Failed, 0, "Read timed out."};
    //                 baidu  google yahoo   sogou  soso    youdao bing
    const auto before = keywordRecord({at3, at3, none, at3, failed, off, failed});
    const auto after = keywordRecord({at5, at6, at3, none, at3, at3, failed});
    std::vector<std::string> tsv;
    for (const auto& line : keywordChanges("example.com", before, after, {}))
        tsv.push_back(changeTsv(line) + (line.moved ? " moved" : ""));
    EXPECT_EQ(tsv, (std::vector<std::string>{
                       "example.com\tposition\t网站优化\tgoogle\t3\t6\t moved",
                       "example.com\tposition\t网站优化\tyahoo\tnone\t3\t moved",
                       "example.com\tposition\t网站优化\tsogou\t3\tnone\t moved",
                       "example.com\tposition\t网站优化\tsoso\tfail\t3\t moved",
                       "example.com\tposition\t网站优化\tbing\tfail\tfail\tRead timed out.",
                   }));
    EXPECT_TRUE(keywordChanges("example.com", std::nullopt, before, {}).size() == 2)
        << "a first record tells only its failures";
}

TEST(KeywordResultOf, KeepsEachKindOfOutcome)
{
    using queries::KeywordOutcome;
    using fetch::Failure;
    using fetch::FailureKind;
    struct Case {
        const char* name;
        bool selected;
        std::optional<KeywordOutcome> outcome;
        State state;
        int position;
        std::string reason;
    };
    const Case cases[] = {
        {"found", true, KeywordOutcome{{13}, std::nullopt}, State::Position, 13, ""},
        {"not found", true, KeywordOutcome{{0}, std::nullopt}, State::NotFound, 0, ""},
        {"failed", true, KeywordOutcome{{}, Failure{FailureKind::Plain, "Read timed out."}}, State::Failed, 0,
         "Read timed out."},
        {"refused", true, KeywordOutcome{{}, Failure{FailureKind::Blocked, "blocked: 429 Too Many Requests"}},
         State::Blocked, 0, "blocked: 429 Too Many Requests"},
        {"switched off", true,
         KeywordOutcome{{}, Failure{FailureKind::SwitchedOff, "switched off in the engine profile"}}, State::Failed, 0,
         "switched off in the engine profile"},
        {"retired", true, KeywordOutcome{{}, Failure{FailureKind::Retired, "retired: 2013-09"}}, State::Failed, 0,
         "retired: 2013-09"},
        {"not selected", false, std::nullopt, State::NotSelected, 0, ""},
        {"a position past an int", true, KeywordOutcome{{5'000'000'000LL}, std::nullopt}, State::Position, INT_MAX, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = keywordResultOf(c.selected, c.outcome);
        EXPECT_EQ(r.state, c.state);
        EXPECT_EQ(r.position, c.position);
        EXPECT_EQ(r.reason, c.reason);
    }
}

TEST(Notice, HoldsTheFirstMovedLinesAndNothingWhenNothingMoved)
{
    TrackReport report;
    report.lines.push_back({"a.com", What::AlexaRank, {}, {}, {}, "fail", "503", false});
    EXPECT_TRUE(noticeOf(report).lines.empty()) << "a failure alone is no move";
    EXPECT_EQ(showNotice(noticeOf(report)), "") << "nothing is shown, and nothing fails";
    for (int i = 0; i < 7; ++i)
        report.lines.push_back({"a.com", What::Indexed, {}, "baidu", "100", std::to_string(200 + i), {}, true});
    const Notice n = noticeOf(report, 5);
    EXPECT_EQ(n.title, "Kaldrani：7 项变化");
    ASSERT_EQ(n.lines.size(), 6u);
    EXPECT_EQ(n.lines[0], "a.com: 百度 收录情况 100 -> 200 (+100%)");
    EXPECT_EQ(n.lines[5], "……另有 2 项");
}

} // namespace
