#include "core/records/DataFolder.h"
#include "core/records/History.h"

#include "CsvReader.h"
#include "ProcessRunner.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using kaldrani::testing::readCsv;
using kaldrani::testing::runProcess;
using Fields = std::vector<std::string>;

class HistoryCsvCli : public ::testing::Test {
protected:
    HistoryCsvCli() { kaldrani::records::EnsureDataFolder(folder); }

    kaldrani::testing::ProcessResult history(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {KALDRANI_CLI, "--data-dir", m_temp.path().string(), "history"};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv);
    }

    kaldrani::testing::TempFolder m_temp;
    kaldrani::records::DataFolder folder{m_temp.path()};
};

TEST_F(HistoryCsvCli, PrintsRecordsThatParseBack)
{
    using kaldrani::records::appendHistoryLine;
    appendHistoryLine(folder, "a.com", "830/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23,640,0,2010-1-6 7:36:31");
    appendHistoryLine(folder, "a.com", "0/0,0/0,0/0,0/0,0/0,0/0,0/0,0,0,'a,b',子网站不参与排名,2010-1-7");
    appendHistoryLine(folder, "a.com", "约1000/0,\"x,\"\"y\"/1,0/0,0/0,0/0,0/0,0/0,0,0,查询失败,0,2010-1-8 0:00:05");

    const auto r = history({"--csv", "a.com"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.out.starts_with("\xEF\xBB\xBF"));
    const auto rows = readCsv(r.out);
    ASSERT_TRUE(rows) << r.out;
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ(rows->at(0).front(), "查询时间");
    EXPECT_EQ(rows->at(1), (Fields{"2010-01-08T00:00:05", "约1000", "0", "\"x,\"\"y\"", "1", "0", "0", "0", "0", "0",
                                   "0", "0", "0", "0", "0", "0", "0", "查询失败", "0"}));
    EXPECT_EQ(rows->at(2), (Fields{"2010-01-07T00:00:00", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0",
                                   "0", "0", "0", "0", "0", "'a,b'", "子网站不参与排名"}));
    EXPECT_EQ(rows->at(3), (Fields{"2010-01-06T07:36:31", "830", "45", "880", "12", "0", "0", "97", "3", "156",
                                   "0", "40", "0", "311", "8", "4", "23", "640", "0"}));

    // The plain listing is still what it was.
    const auto plain = history({"a.com"});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.out.starts_with("约1000/0\t\"x,\"\"y\"/1\t")) << plain.out;
}

TEST_F(HistoryCsvCli, UnknownSiteFailsAsThePlainListingDoes)
{
    const auto r = history({"--csv", "never.com"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no history for this site"), std::string::npos) << r.err;
}

} // namespace
