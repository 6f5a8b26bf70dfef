#include "core/records/HistoryTrend.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace kaldrani::records;

namespace {

using Fields = std::vector<std::string>;

std::int64_t localMsecs(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t)) * 1000;
}

TEST(HistoryTrendTest, NumbersAndWhatIsNoNumber)
{
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"1230000", 1230000},
        {" 42 ", 42},
        {"12,345", 12345},
        {"1,234,567", 1234567},
        {"999999999999999", 999999999999999.0},
        {"1000000000000000", std::nullopt},
        {"", std::nullopt},
        {"约1000", std::nullopt},
        {"12</b>x", std::nullopt},
        {"查询失败", std::nullopt},
        {"子网站不参与排名", std::nullopt},
        {"-1", std::nullopt},
        {"1.5", std::nullopt},
        {"1,,2", std::nullopt},
        {",12", std::nullopt},
        {"12,", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(trendNumber(c.text), c.value);
    }
}

TEST(HistoryTrendTest, BuildsOldestFirstAndSkipsWhatIsNoNumber)
{
    // Newest first, as read from the file.
    const std::vector<Fields> records = {
        {"约1000/7", "880/12", "0/0", "97/3", "156/0", "40/0", "311/8", "5", "30", "查询失败", "0", "2010-1-8 9:00:00"},
        {},
        {"830/45", "12</b>x/13", "0/0", "97/3", "156/0", "40/0", "311/8", "4", "23", "12,345", "子网站不参与排名",
         "not a time"},
        {"800/40", "870/11", "0/0", "96/3", "150/0", "39/0", "300/8", "4", "20", "640", "12", "2010-1-6 7:36:31"},
    };
    const HistoryTrend t = buildHistoryTrend(records);
    const auto first = localMsecs(2010, 1, 6, 7, 36, 31);
    const auto last = localMsecs(2010, 1, 8, 9, 0, 0);

    EXPECT_EQ(t.indexed[0], (std::vector<TrendPoint>{{first, 800}}));
    EXPECT_EQ(t.backlinks[0], (std::vector<TrendPoint>{{first, 40}, {last, 7}}));
    EXPECT_EQ(t.indexed[1], (std::vector<TrendPoint>{{first, 870}, {last, 880}}));
    EXPECT_EQ(t.pageRank, (std::vector<TrendPoint>{{first, 4}, {last, 5}}));
    EXPECT_EQ(t.sogouRating, (std::vector<TrendPoint>{{first, 20}, {last, 30}}));
    EXPECT_EQ(t.alexaRank, (std::vector<TrendPoint>{{first, 640}}));
    EXPECT_EQ(t.chinaRank, (std::vector<TrendPoint>{{first, 12}}));

    // The undated record loses all its figures; the newest its "约1000", "查询失败" and the
    // failure value "0" of ChinaRank.
    EXPECT_EQ(t.skippedIndexed, 7 + 1);
    EXPECT_EQ(t.skippedBacklinks, 7);
    EXPECT_EQ(t.skippedRanks, 4 + 2);
}

TEST(HistoryTrendTest, KeepsTimeOrderWhateverTheFileOrder)
{
    const std::vector<Fields> records = {
        {"1/1", "2010-1-6"},
        {"3/3", "2010-1-8"},
        {"2/2", "2010-1-7"},
    };
    const HistoryTrend t = buildHistoryTrend(records);
    EXPECT_EQ(t.indexed[0], (std::vector<TrendPoint>{
                                {localMsecs(2010, 1, 6), 1}, {localMsecs(2010, 1, 7), 2}, {localMsecs(2010, 1, 8), 3}}));
}

} // namespace
