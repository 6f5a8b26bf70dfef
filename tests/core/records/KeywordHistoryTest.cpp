#include "core/records/DataFolder.h"
#include "core/records/FileIo.h"
#include "core/records/KeywordHistory.h"
#include "core/records/TrackedKeywords.h"

#include "RecordsTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace kaldrani;
using namespace kaldrani::records;
using namespace records_test;

namespace {

using State = KeywordResult::State;

KeywordRecord record(std::string keyword, int position, std::string time = "2026-12-11T09:30:00+08:00")
{
    KeywordRecord r;
    r.time = std::move(time);
    r.keyword = std::move(keyword);
    r.firstPage = 1;
    r.lastPage = 5;
    for (auto& result : r.results)
        result = {State::NotSelected, 0, {}};
    r.results[engineIndex(SearchEngine::Baidu)] = position > 0 ? KeywordResult{State::Position, position, {}}
                                                               : KeywordResult{State::NotFound, 0, {}};
    return r;
}

class KeywordHistoryTest : public ::testing::Test {
protected:
    TempFolder temp;
    DataFolder folder{temp.path()};
    void SetUp() override { makeDataFolder(folder); }
};

TEST(KeywordRecordFormat, EveryStateAndAwkwardTextSurviveTheRoundTrip)
{
    KeywordRecord r = record("A++ 教程\t50%\r\nnext", 12);
    r.firstPage = 3;
    r.lastPage = 2;
    r.results[engineIndex(SearchEngine::Google)] = {State::Failed, 0, "Read timed out.\tline\nnext %09"};
    r.results[engineIndex(SearchEngine::Yahoo)] = {State::NotFound, 0, {}};
    r.results[engineIndex(SearchEngine::Bing)] = {State::Absent, 0, {}};
    const std::string line = formatKeywordRecord(r);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(line.find("bing="), std::string::npos) << "an engine the record does not name is left out";
    KeywordRecord back;
    ASSERT_TRUE(parseKeywordRecord(line, back)) << line;
    EXPECT_EQ(back, r);
}

// A refusal is kept as a failure whose reason names it, so files stay what older readers
// and peers read, and a refusal they wrote reads back as one.
TEST(KeywordRecordFormat, ARefusalIsAFailureLineThatReadsBackAsARefusal)
{
    struct Case {
        const char* name;
        KeywordResult result;
        const char* stored;
        KeywordResult readBack;
    };
    const Case cases[] = {
        {"refusal", {State::Blocked, 0, "blocked: 429 Too Many Requests"}, "baidu=fail:blocked: 429 Too Many Requests",
         {State::Blocked, 0, "blocked: 429 Too Many Requests"}},
        {"refusal without its word", {State::Blocked, 0, "verification page"}, "baidu=fail:blocked: verification page",
         {State::Blocked, 0, "blocked: verification page"}},
        {"plain failure", {State::Failed, 0, "Read timed out."}, "baidu=fail:Read timed out.",
         {State::Failed, 0, "Read timed out."}},
        {"a failure that only mentions blocking", {State::Failed, 0, "not blocked: odd"}, "baidu=fail:not blocked: odd",
         {State::Failed, 0, "not blocked: odd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeywordRecord r = record("k", 1);
        r.results[engineIndex(SearchEngine::Baidu)] = c.result;
        const std::string line = formatKeywordRecord(r);
        EXPECT_NE(line.find(std::string("\t") + c.stored), std::string::npos) << line;
        KeywordRecord back;
        ASSERT_TRUE(parseKeywordRecord(line, back)) << line;
        EXPECT_EQ(back.results[engineIndex(SearchEngine::Baidu)], c.readBack);
    }
}

TEST(KeywordRecordFormat, DamagedLinesAreRefusedAndUnknownEnginesPassedOver)
{
    struct Case {
        const char* name;
        std::string line;
        bool good;
    };
    const Case cases[] = {
        {"whole", "2026-12-11T09:30:00+08:00\tk\t1-5\tbaidu=3\tgoogle=none\tyahoo=off\tsogou=fail:x", true},
        {"utc and no engines", "2026-12-11T01:30:00Z\tk\t1-1", true},
        {"engine of a later version", "2026-12-11T01:30:00Z\tk\t1-1\tnewengine=4", true},
        {"no page range", "2026-12-11T01:30:00Z\tk", false},
        {"time without offset", "2026-12-11T01:30:00\tk\t1-1", false},
        {"month 13", "2026-13-11T01:30:00Z\tk\t1-1", false},
        {"position 0", "2026-12-11T01:30:00Z\tk\t1-1\tbaidu=0", false},
        {"signed position", "2026-12-11T01:30:00Z\tk\t1-1\tbaidu=+3", false},
        {"result without =", "2026-12-11T01:30:00Z\tk\t1-1\tbaidu", false},
        {"range without dash", "2026-12-11T01:30:00Z\tk\t15", false},
        {"not UTF-8", "2026-12-11T01:30:00Z\t\xB0\xD9\t1-1", false},
        {"cut short", "2026-12-11T01:3", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeywordRecord r;
        EXPECT_EQ(parseKeywordRecord(c.line, r), c.good);
    }
}

TEST(KeywordRecordFormat, IsoTimesNameTheSameMomentWhateverTheOffset)
{
    std::int64_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(parseIsoTime("2026-12-11T09:30:00+08:00", a));
    ASSERT_TRUE(parseIsoTime("2026-12-11T01:30:00Z", b));
    ASSERT_TRUE(parseIsoTime("2026-12-10T20:00:00-05:30", c));
    EXPECT_EQ(a, b);
    EXPECT_EQ(b, c);
    EXPECT_EQ(b, 1796952600);
    std::int64_t back = 0;
    ASSERT_TRUE(parseIsoTime(isoLocalTime(b), back));
    EXPECT_EQ(back, b);
}

TEST_F(KeywordHistoryTest, AMissingHistoryHoldsNoRecords)
{
    const KeywordHistory h = readKeywordHistory(folder, "example.com");
    EXPECT_TRUE(h.records.empty());
    EXPECT_EQ(h.damagedLines, 0);
}

TEST_F(KeywordHistoryTest, ReadingSkipsAndCountsDamagedLines)
{
    appendKeywordRecords(folder, "example.com", {record("a", 1), record("b", 2)});
    const auto path = keywordHistoryPath(folder, "example.com");
    std::string bytes = readBytes(path);
    bytes += "garbage\n\xFF\xFE\n2026-12-11T01:30:00Z\tc\t1-1\tbaidu=7";
    writeBytes(path, bytes);
    const KeywordHistory h = readKeywordHistory(folder, "example.com");
    ASSERT_EQ(h.records.size(), 3u);
    EXPECT_EQ(h.records[0].keyword, "a");
    EXPECT_EQ(h.records[2].results[0].position, 7);
    EXPECT_EQ(h.damagedLines, 2);

    // A later write keeps what it cannot read: the user may still mend it.
    appendKeywordRecords(folder, "example.com", {record("d", 4)});
    EXPECT_EQ(readKeywordHistory(folder, "example.com").damagedLines, 2);
    EXPECT_NE(readBytes(path).find("garbage\n"), std::string::npos);
}

TEST_F(KeywordHistoryTest, EachKeywordKeepsItsNewestThousandRecords)
{
    std::vector<KeywordRecord> batch;
    for (int i = 1; i <= 1003; ++i)
        batch.push_back(record("busy", i));
    batch.push_back(record("quiet", 1));
    appendKeywordRecords(folder, "example.com", batch);
    appendKeywordRecords(folder, "example.com", {record("busy", 1004), record("quiet", 2)});

    const KeywordHistory h = readKeywordHistory(folder, "example.com");
    std::vector<int> busy, quiet;
    for (const auto& r : h.records)
        (r.keyword == "busy" ? busy : quiet).push_back(r.results[0].position);
    ASSERT_EQ(busy.size(), kMaxKeywordRecords);
    EXPECT_EQ(busy.front(), 5);
    EXPECT_EQ(busy.back(), 1004);
    EXPECT_EQ(quiet, (std::vector<int>{1, 2}));
    EXPECT_EQ(fileNames(folder.root() / "keywords"), (std::vector<std::string>{"example.com.txt"}))
        << "no temporary file is left";
}

TEST_F(KeywordHistoryTest, ConcurrentWritersLoseNoRecord)
{
    constexpr int kWriters = 4, kEach = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            std::string name = "w";
            name += std::to_string(w);
            for (int i = 0; i < kEach; ++i)
                appendKeywordRecords(folder, "example.com", {record(name, i + 1)});
        });
    for (auto& t : writers)
        t.join();
    const KeywordHistory h = readKeywordHistory(folder, "example.com");
    EXPECT_EQ(h.records.size(), static_cast<size_t>(kWriters * kEach));
    EXPECT_EQ(h.damagedLines, 0);
}

TEST_F(KeywordHistoryTest, AFileHeldLockedByAnotherWriterIsLeftAsItWas)
{
    appendKeywordRecords(folder, "example.com", {record("a", 1)});
    const auto path = keywordHistoryPath(folder, "example.com");
    const std::string before = readBytes(path);
    // The same lock the overview's history writers take.
    fileio::LockedFile held(path);
    EXPECT_THROW(appendKeywordRecords(folder, "example.com", {record("b", 2)}), FileError);
    EXPECT_EQ(readBytes(path), before);
}

TEST_F(KeywordHistoryTest, ASiteThatWouldNameAnotherFileIsRefused)
{
    EXPECT_THROW(appendKeywordRecords(folder, "../x", {record("a", 1)}), FileError);
    EXPECT_THROW(appendKeywordRecords(folder, std::string("a\0b", 3), {record("a", 1)}), FileError);
}

TEST_F(KeywordHistoryTest, TrackedKeywordsAreAddedOnceRemovedAndKeepForeignLines)
{
    writeBytes(trackedKeywordsPath(folder), "# mine\nexample.com\talpha\n");
    EXPECT_TRUE(addTrackedKeyword(folder, "example.com", "网站优化"));
    EXPECT_FALSE(addTrackedKeyword(folder, "example.com", "网站优化"));
    EXPECT_TRUE(addTrackedKeyword(folder, "example.org", "alpha"));
    EXPECT_EQ(loadTrackedKeywords(folder),
              (std::vector<TrackedKeyword>{{"example.com", "alpha"}, {"example.com", "网站优化"}, {"example.org", "alpha"}}));
    EXPECT_EQ(trackedKeywordsOf(loadTrackedKeywords(folder), "example.com"),
              (std::vector<std::string>{"alpha", "网站优化"}));
    EXPECT_TRUE(removeTrackedKeyword(folder, "example.com", "alpha"));
    EXPECT_FALSE(removeTrackedKeyword(folder, "example.com", "alpha"));
    EXPECT_EQ(readBytes(trackedKeywordsPath(folder)), "# mine\nexample.com\t网站优化\nexample.org\talpha\n");
}

TEST_F(KeywordHistoryTest, KeywordsThatWouldBreakTheFileAreRefused)
{
    struct Case {
        const char* name;
        std::string keyword;
    };
    const Case cases[] = {
        {"empty", ""},
        {"TAB", "a\tb"},
        {"line break", "a\nb"},
        {"not UTF-8", "\xB0\xD9"},
        {"too long", std::string(kMaxKeywordBytes + 1, 'k')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(keywordProblem(c.keyword).empty());
        EXPECT_THROW(addTrackedKeyword(folder, "example.com", c.keyword), std::invalid_argument);
    }
    EXPECT_TRUE(loadTrackedKeywords(folder).empty());
}

} // namespace
