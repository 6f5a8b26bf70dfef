#include "core/records/HistoryCsv.h"
#include "core/records/HistoryEntry.h"

#include "CsvReader.h"

#include <gtest/gtest.h>

using namespace kaldrani::records;
using kaldrani::testing::readCsv;

namespace {

using Fields = std::vector<std::string>;

const std::array<std::string_view, 7> labels = {"百度", "谷歌", "雅虎", "搜狗", "搜搜", "有道", "必应"};

const Fields header = {"查询时间", "百度收录", "百度反链", "谷歌收录", "谷歌反链", "雅虎收录", "雅虎反链",
                       "搜狗收录", "搜狗反链", "搜搜收录", "搜搜反链", "有道收录", "有道反链", "必应收录",
                       "必应反链", "PageRank", "SogouRank", "AlexaRank", "ChinaRank"};

TEST(HistoryEntryTest, ReadsRecordsOfEveryShape)
{
    struct Case {
        const char* name;
        Fields fields;
        Fields expected; // Baidu indexed, Baidu backlinks, Google indexed, Bing backlinks, PR, Sogou, Alexa, China, time
    };
    const Case cases[] = {
        {"twelve fields",
         {"830/45", "880/12", "0/0", "97/3", "156/0", "40/0", "311/8", "4", "23", "640", "0", "2010-1-6 7:36:31"},
         {"830", "45", "880", "8", "4", "23", "640", "0", "2010-1-6 7:36:31"}},
        {"an empty Alexa text dropped",
         {"1/2", "3/4", "0/0", "0/0", "0/0", "0/0", "0/9", "4", "23", "0", "2010-1-6"},
         {"1", "2", "3", "9", "4", "23", "0", "", "2010-1-6"}},
        {"an Alexa reply with commas",
         {"1/2", "3/4", "0/0", "0/0", "0/0", "0/0", "0/9", "4", "23", "12", "345", "678", "7", "2010-1-6"},
         {"1", "2", "3", "9", "4", "23", "12,345,678", "7", "2010-1-6"}},
        {"markup left in a count",
         {"12</b>x/5", "7/3</b>", "0/0", "0/0", "0/0", "0/0", "/", "0", "0", "查询失败", "0", "2010-1-6"},
         {"12</b>x", "5", "7", "", "0", "0", "查询失败", "0", "2010-1-6"}},
        {"a count without its slash", {"约1000", "2010-1-6"}, {"约1000", "", "", "", "", "", "", "", "2010-1-6"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto e = readHistoryEntry(c.fields);
        ASSERT_TRUE(e);
        const Fields got = {e->fields.indexed[0], e->fields.backlinks[0], e->fields.indexed[1],
                            e->fields.backlinks[6], e->fields.pageRank, e->fields.sogouRating,
                            e->fields.alexaRank, e->fields.chinaRank, e->queryTime};
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_FALSE(readHistoryEntry({}));
}

TEST(HistoryEntryTest, QueryTimesInIso8601)
{
    struct Case {
        const char* stored;
        const char* iso;
    };
    const Case cases[] = {
        {"2010-1-6 7:36:31", "2010-01-06T07:36:31"},
        {"2010-1-6", "2010-01-06T00:00:00"},
        {"2024-12-31 23:59:59", "2024-12-31T23:59:59"},
        {"2024/2/29 0:00:01", "2024-02-29T00:00:01"},
        // Not a query time: kept as it is rather than lost.
        {"2023-2-29", "2023-2-29"},
        {"2010-13-1", "2010-13-1"},
        {"2010-1-6 24:00:00", "2010-1-6 24:00:00"},
        {"2010-1-6 7:36", "2010-1-6 7:36"},
        {"2010-1-6x", "2010-1-6x"},
        {"10-1-6", "10-1-6"},
        {"0", "0"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(isoQueryTime(c.stored), c.iso);
    }
}

TEST(HistoryCsvTest, FieldsAreQuotedOnlyWhenTheyMustBe)
{
    EXPECT_EQ(csvField("1234"), "1234");
    EXPECT_EQ(csvField("查询失败"), "查询失败");
    EXPECT_EQ(csvField(" a "), " a ");
    EXPECT_EQ(csvField("12,345"), "\"12,345\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("a\r\nb"), "\"a\r\nb\"");
    EXPECT_EQ(csvField("'x'"), "'x'");
}

TEST(HistoryCsvTest, ParsesBackIntoTheRecords)
{
    const std::vector<Fields> records = {
        {"5/6", "\"1,2\"/3", "0/0", "0/0", "0/0", "0/0", "0/0", "4", "23", "约\"1,000\"", "子网站不参与排名",
         "2010-1-7"},
        {},
        {"830/45", "880/12", "0/0", "97/3", "156/0", "40/0", "311/8", "4", "23", "12", "345", "0",
         "2010-1-6 7:36:31"},
    };
    const std::string csv = historyCsv(records, labels);
    EXPECT_FALSE(csv.starts_with(kUtf8ByteOrderMark));
    const auto rows = readCsv(csv);
    ASSERT_TRUE(rows) << csv;
    ASSERT_EQ(rows->size(), 3u) << "the empty record is left out";
    EXPECT_EQ(rows->at(0), header);
    EXPECT_EQ(rows->at(1), (Fields{"2010-01-07T00:00:00", "5", "6", "\"1,2\"", "3", "0", "0", "0", "0", "0", "0",
                                   "0", "0", "0", "0", "4", "23", "约\"1,000\"", "子网站不参与排名"}));
    EXPECT_EQ(rows->at(2), (Fields{"2010-01-06T07:36:31", "830", "45", "880", "12", "0", "0", "97", "3", "156",
                                   "0", "40", "0", "311", "8", "4", "23", "12,345", "0"}));
}

TEST(HistoryCsvTest, CellsThatASpreadsheetWouldRunAsFormulasGetAQuote)
{
    struct Case {
        const char* name;
        const char* stored;
        const char* cell;
    };
    const Case cases[] = {
        {"hyperlink", "=HYPERLINK(\"http://evil.test/steal\")", "'=HYPERLINK(\"http://evil.test/steal\")"},
        {"at-function", "@SUM(1+1)*cmd|' /C calc'!A0", "'@SUM(1+1)*cmd|' /C calc'!A0"},
        {"plus formula", "+1+cmd|' /C calc'!A0", "'+1+cmd|' /C calc'!A0"},
        {"minus formula", "-2+3+cmd|' /C calc'!A0", "'-2+3+cmd|' /C calc'!A0"},
        {"leading TAB", "\t=1+1", "'\t=1+1"},
        {"leading CR", "\r=1+1", "'\r=1+1"},
        {"sign alone but plus", "+", "'+"},
        {"dash then text", "-x", "'-x"},
        {"number with exponent", "-1e3", "'-1e3"},
        // What records hold in earnest stays as it is.
        {"count", "830", "830"},
        {"failure value", "查询失败", "查询失败"},
        {"a lone dash", "-", "-"},
        {"negative number", "-1", "-1"},
        {"signed decimal", "+2.5", "+2.5"},
        {"formula sign later on", "约=1", "约=1"},
        {"already quoted", "'=x", "'=x"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(spreadsheetSafe(c.stored), c.cell);
    }
}

TEST(HistoryCsvTest, AHostilePageReachesTheExportAsText)
{
    // How a count page saying 找到相关网页=HYPERLINK(...)篇 is stored once the marker words go.
    const std::vector<Fields> records = {{"=HYPERLINK(\"evil.test\")/@SUM(A1)", "+1/-1", "0/0", "0/0",
                                          "0/0", "0/0", "0/0", "4", "23", "-cmd|' /C calc'!A0", "-", "2010-1-6"}};
    const auto rows = readCsv(historyCsv(records, labels));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ(rows->at(1), (Fields{"2010-01-06T00:00:00", "'=HYPERLINK(\"evil.test\")", "'@SUM(A1)",
                                   "+1", "-1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "4", "23",
                                   "'-cmd|' /C calc'!A0", "-"}));
}

TEST(HistoryCsvTest, NoRecordsGiveTheHeaderAlone)
{
    const auto rows = readCsv(historyCsv({}, labels));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front(), header);
}

} // namespace
