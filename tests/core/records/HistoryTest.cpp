#include "core/records/History.h"

#include "core/text/Encoding.h"

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kaldrani::records;
using namespace records_test;

namespace {

using Fields = std::vector<std::string>;
using Records = std::vector<Fields>;

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureDataFolder(folder); }

    // n numbered lines "r<i>,..." oldest first, each ended by `end`.
    static std::string numberedLines(int first, int count, const char* end = "\r\n")
    {
        std::string text;
        for (int i = first; i < first + count; ++i)
            text += 'r' + std::to_string(i) + "," + std::to_string(i) + end;
        return text;
    }

    TempFolder temp;
    DataFolder folder{temp.path()};
    std::filesystem::path file = folder.historyFolder() / "a.com.txt";
};

HistoryFields sampleFields()
{
    HistoryFields f;
    f.indexed = {"830", "880", "0", "97", "156", "40", "311"};
    f.backlinks = {"45", "12", "0", "3", "0", "0", "8"};
    f.pageRank = "4";
    f.sogouRating = "23";
    f.alexaRank = "640";
    f.chinaRank = "0";
    return f;
}

TEST(History, FormatQueryTime)
{
    struct Case {
        const char* name;
        int year, month, day, hour, minute, second;
        const char* expected;
    };
    const Case cases[] = {
        {"morning", 2010, 1, 6, 7, 36, 31, "2010-1-6 7:36:31"},
        {"midnight holds the date alone", 2010, 1, 6, 0, 0, 0, "2010-1-6"},
        {"one second past midnight", 2010, 1, 6, 0, 0, 1, "2010-1-6 0:00:01"},
        {"last second of the year", 2009, 12, 31, 23, 59, 59, "2009-12-31 23:59:59"},
        {"noon", 2026, 10, 10, 12, 0, 0, "2026-10-10 12:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::tm t {};
        t.tm_year = c.year - 1900;
        t.tm_mon = c.month - 1;
        t.tm_mday = c.day;
        t.tm_hour = c.hour;
        t.tm_min = c.minute;
        t.tm_sec = c.second;
        EXPECT_EQ(formatQueryTime(t), c.expected);
    }
}

TEST(History, FormatHistoryLineKeepsOneLineOfTwelveFields)
{
    EXPECT_EQ(formatHistoryLine(sampleFields(), "2010-1-6 7:36:31"),
              "830/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23,640,0,2010-1-6 7:36:31");

    struct Case {
        const char* name;
        const char* alexa;
        const char* baiduIndexed;
        const char* alexaWritten;
        const char* baiduWritten;
    };
    const Case cases[] = {
        {"grouping comma removed", "12,345", "1,234", "12345", "1234/45"},
        {"line breaks become blanks", "a\r\nb", "x\ry\nz", "a  b", "x y z/45"},
        {"open quote removed", "it's", "\"5", "its", "5/45"},
        {"closed quotes kept", "'a'", "say \"hi\"", "'a'", "say \"hi\"/45"},
        {"a quote inside a closed stretch is plain", "'a\"b'", "1", "'a\"b'", "1/45"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryFields f = sampleFields();
        f.alexaRank = c.alexa;
        f.indexed[0] = c.baiduIndexed;
        const std::string line = formatHistoryLine(f, "2010-1-6");
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        const Fields fields = splitHistoryFields(line);
        ASSERT_EQ(fields.size(), 12u) << line;
        EXPECT_EQ(fields[0], c.baiduWritten);
        EXPECT_EQ(fields[9], c.alexaWritten);
        EXPECT_EQ(fields[11], "2010-1-6");
    }

    // An empty field is still dropped on reading: the later fields move forward.
    HistoryFields f = sampleFields();
    f.alexaRank = "";
    EXPECT_EQ(splitHistoryFields(formatHistoryLine(f, "2010-1-6")),
              (Fields{"830/45", "880/12", "0/0", "97/3", "156/0", "40/0", "311/8", "4", "23", "0", "2010-1-6"}));
}

TEST(History, SplitHistoryFields)
{
    struct Case {
        const char* name;
        const char* line;
        Fields fields;
    };
    const Case cases[] = {
        {"plain", "a,b,c", {"a", "b", "c"}},
        {"empty line", "", {}},
        {"empty fields dropped", ",,a,,b,", {"a", "b"}},
        {"commas only", ",,,", {}},
        {"blanks kept", " a , b", {" a ", " b"}},
        {"double quotes keep a comma", "x\"1,2\"y,z", {"x\"1,2\"y", "z"}},
        {"single quotes keep a comma", "'1,2',z", {"'1,2'", "z"}},
        {"other quote inside a stretch", "'a\",b',c", {"'a\",b'", "c"}},
        {"unclosed quote runs to the end", "a,\"b,c,d", {"a", "\"b,c,d"}},
        {"a comma inside the Alexa text gives thirteen fields",
         "1/1,2/2,3/3,4/4,5/5,6/6,7/7,4,23,12,345,0,2010-1-6",
         {"1/1", "2/2", "3/3", "4/4", "5/5", "6/6", "7/7", "4", "23", "12", "345", "0", "2010-1-6"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitHistoryFields(c.line), c.fields);
    }
}

TEST(History, SplitLines)
{
    struct Case {
        const char* name;
        const char* text;
        Fields lines;
    };
    const Case cases[] = {
        {"empty text has no line", "", {}},
        {"lone break is one empty line", "\r\n", {""}},
        {"final line without a break", "a\r\nb", {"a", "b"}},
        {"final break starts no line", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR and lone LF", "a\rb\nc\r", {"a", "b", "c"}},
        {"CR CR LF", "a\r\r\nb", {"a", "", "b"}},
        {"empty lines inside", "a\n\n\nb", {"a", "", "", "b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitLines(c.text), c.lines);
    }
}

TEST_F(HistoryTest, AppendCreatesTheFileThenAddsLinesInGbk)
{
    appendHistoryLine(folder, "a.com", "1/2,查询失败");
    EXPECT_EQ(readBytes(file), "1/2,\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC\r\n");
    appendHistoryLine(folder, "a.com", "3/4,\xF0\x9F\x98\x80");
    EXPECT_EQ(readBytes(file), "1/2,\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC\r\n3/4,?\r\n");

    EXPECT_EQ(ReadHistory(folder, "a.com"), (Records{{"3/4", "?"}, {"1/2", "查询失败"}}));
}

TEST_F(HistoryTest, AppendNeverJoinsOrSplitsALine)
{
    writeBytes(file, "old,1");
    appendHistoryLine(folder, "a.com", "new,\r\n2");
    EXPECT_EQ(readBytes(file), "old,1\r\nnew,  2\r\n");
}

TEST_F(HistoryTest, AppendToAFileWithAByteOrderMarkKeepsItsEncoding)
{
    struct Case {
        const char* name;
        std::string before;
    };
    const Case cases[] = {
        {"UTF-8", "\xEF\xBB\xBF" "百度,1\r\n"},
        {"UTF-8 without final break", "\xEF\xBB\xBF" "百度,1"},
        {"UTF-16LE", std::string("\xFF\xFE\x7E\x76,\0" "1\0\r\0\n\0", 12)},
        {"UTF-16BE without final break", std::string("\xFE\xFF\x76\x7E\0,\0" "1", 8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(file, c.before);
        appendHistoryLine(folder, "a.com", "搜狗,2");
        const Records got = ReadHistory(folder, "a.com");
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], (Fields{"搜狗", "2"}));
        ASSERT_EQ(got[1].size(), 2u);
        EXPECT_TRUE(got[1][0].starts_with("百")) << got[1][0];
        EXPECT_EQ(got[1][1], "1");
    }
}

TEST_F(HistoryTest, SitesThatWouldLeaveTheHistoryFolderAreRefused)
{
    const std::string list = readBytes(folder.siteListPath());
    for (const char* site : {"../website", "/tmp/x", "sub/a"}) {
        SCOPED_TRACE(site);
        try {
            appendHistoryLine(folder, site, "1/1");
            ADD_FAILURE() << "append not refused";
        } catch (const FileError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("Cannot create file \"")) << e.what();
        }
        EXPECT_THROW(ReadHistory(folder, site), FileError);
    }
    EXPECT_EQ(readBytes(folder.siteListPath()), list);
    EXPECT_TRUE(fileNames(folder.historyFolder()).empty());

    // A line of blanks is a site like any other.
    appendHistoryLine(folder, "  ", "1/1");
    EXPECT_EQ(fileNames(folder.historyFolder()), std::vector<std::string>{"  .txt"});
}

TEST_F(HistoryTest, AppendWithoutAHistoryFolderRaisesTheCreateText)
{
    std::filesystem::remove(folder.historyFolder());
    try {
        appendHistoryLine(folder, "a.com", "1/1");
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + file.string() + "\". No such file or directory");
    }
}

TEST_F(HistoryTest, ReadGivesNewestFirstAndEmptyLinesAsEmptyRecords)
{
    writeBytes(file, "1/1,a\r\n\r\n3/3,c\r\n");
    EXPECT_EQ(ReadHistory(folder, "a.com"), (Records{{"3/3", "c"}, {}, {"1/1", "a"}}));

    writeBytes(file, "");
    EXPECT_TRUE(ReadHistory(folder, "a.com").empty());

    try {
        ReadHistory(folder, "never.com");
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (folder.historyFolder() / "never.com.txt").string() +
                                             "\". No such file or directory");
    }
}

TEST_F(HistoryTest, ReadTrimsToTheNewestThousandLines)
{
    struct Case {
        const char* name;
        int lines;
        bool rewritten;
    };
    const Case cases[] = {
        {"exactly 1000", 1000, false},
        {"1001", 1001, true},
        {"2500", 2500, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // LF alone: a file that is not rewritten keeps it, a rewritten one has CR LF.
        writeBytes(file, numberedLines(1, c.lines, "\n"));
        const Records records = ReadHistory(folder, "a.com");
        ASSERT_EQ(records.size(), 1000u);
        EXPECT_EQ(records.front(), (Fields{"r" + std::to_string(c.lines), std::to_string(c.lines)}));
        EXPECT_EQ(records.back()[0], "r" + std::to_string(c.lines - 999));
        const int first = c.lines - 999;
        EXPECT_EQ(readBytes(file), c.rewritten ? numberedLines(first, 1000) : numberedLines(first, 1000, "\n"));
    }
    EXPECT_EQ(fileNames(folder.historyFolder()), std::vector<std::string>{"a.com.txt"});
}

TEST_F(HistoryTest, TrimKeepsEmptyLinesAndUndecodableBytes)
{
    std::string text = numberedLines(1, 999);
    text += "\r\n";              // an empty record, counted as a line
    text += "\xB0\x20,\xFF\r\n"; // bytes that form no GBK character
    writeBytes(file, text);

    const Records records = ReadHistory(folder, "a.com");
    ASSERT_EQ(records.size(), 1000u);
    EXPECT_EQ(records[0], (Fields{"\xEF\xBF\xBD ", "\xEF\xBF\xBD"}));
    EXPECT_TRUE(records[1].empty());
    EXPECT_EQ(readBytes(file), numberedLines(2, 998) + "\r\n" + "\xB0\x20,\xFF\r\n");
}

TEST_F(HistoryTest, TrimKeepsTheFilesOwnEncodingSoNoCharacterIsLost)
{
    using kaldrani::text::utf8ToUtf16;
    struct Case {
        const char* name;
        std::string mark;
        std::function<std::string(std::string_view)> encode; // UTF-8 text as stored
        const char* field;                                   // what each record holds
    };
    const auto asIs = [](std::string_view t) { return std::string(t); };
    const Case cases[] = {
        {"UTF-8 with its mark", "\xEF\xBB\xBF", asIs, "😀ก百度"},
        {"UTF-16LE", "\xFF\xFE", [](std::string_view t) { return utf8ToUtf16(t, false); }, "😀ก百度"},
        {"UTF-16BE", "\xFE\xFF", [](std::string_view t) { return utf8ToUtf16(t, true); }, "😀ก百度"},
        {"GBK, no mark", "", [](std::string_view t) { return kaldrani::text::utf8ToGbk(t); }, "百度"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = [&](int first, int last, const char* end) {
            std::string out;
            for (int i = first; i <= last; ++i)
                out += c.encode(std::string(c.field) + std::to_string(i) + ",x" + end);
            return out;
        };
        // LF alone before the trim, CR LF after it, as for every rewritten history.
        writeBytes(file, c.mark + lines(1, 1001, "\n"));
        const Records records = ReadHistory(folder, "a.com");
        ASSERT_EQ(records.size(), 1000u);
        EXPECT_EQ(records[0], (Fields{c.field + std::string("1001"), "x"}));
        EXPECT_EQ(records[999], (Fields{c.field + std::string("2"), "x"}));
        EXPECT_EQ(readBytes(file), c.mark + lines(2, 1001, "\r\n"));
        // Read again: the same records, and nothing more to trim.
        EXPECT_EQ(ReadHistory(folder, "a.com"), records);
    }
}

TEST_F(HistoryTest, TrimOfAMarkedFileKeepsBytesThatFormNoCharacter)
{
    // A stray byte in a UTF-8 file, and an unpaired surrogate and an odd last byte in a
    // UTF-16 one, are shown as U+FFFD but written back as they were stored.
    std::string utf8 = "\xEF\xBB\xBF" + numberedLines(1, 1000) + "bad\xFF,x\r\n";
    writeBytes(file, utf8);
    EXPECT_EQ(ReadHistory(folder, "a.com")[0], (Fields{"bad\xEF\xBF\xBD", "x"}));
    EXPECT_EQ(readBytes(file), "\xEF\xBB\xBF" + numberedLines(2, 999) + "bad\xFF,x\r\n");

    const std::string lone = std::string("\x00\xD8", 2); // U+D800 alone, little-endian
    const std::string body = kaldrani::text::utf8ToUtf16(numberedLines(1, 1000), false);
    writeBytes(file, "\xFF\xFE" + body + lone + std::string("\r\0\n\0", 4) + "7");
    const Records records = ReadHistory(folder, "a.com");
    EXPECT_EQ(records[0], (Fields{"\xEF\xBF\xBD"}));
    EXPECT_EQ(records[1], (Fields{"\xEF\xBF\xBD"}));
    // The odd byte gets the zero byte that completes its unit, as an append would add.
    EXPECT_EQ(readBytes(file), "\xFF\xFE" + kaldrani::text::utf8ToUtf16(numberedLines(3, 998), false) + lone +
                                   std::string("\r\0\n\0", 4) + std::string("7\0\r\0\n\0", 6));

    writeBytes(file, std::string("\xFF\xFE" "1\0,\0\x7E\x76\r\0\n\0" "2\0", 14));
    EXPECT_EQ(ReadHistory(folder, "a.com"), (Records{{"2"}, {"1", "百"}}));
}

TEST_F(HistoryTest, FailedTrimLeavesTheOldFileWhole)
{
    const std::string old = numberedLines(1, 1001);
    writeBytes(file, old);
    try {
        FileSizeLimit limit(old.size() / 2);
        ReadHistory(folder, "a.com");
        FAIL() << "no error raised";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + file.string() + "\". File too large");
    }
    EXPECT_EQ(readBytes(file), old);
    EXPECT_EQ(fileNames(folder.historyFolder()), std::vector<std::string>{"a.com.txt"});
}

} // namespace
