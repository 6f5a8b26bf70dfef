#include "ByteFiles.h"
#include "ProcessRunner.h"
#include "TempFolder.h"
#include "core/records/DataFolder.h"
#include "core/records/History.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kaldrani::records::DataFolder;

using kaldrani::testing::readBytes;
using kaldrani::testing::writeBytes;
using Result = kaldrani::testing::ProcessResult;

// Runs kaldrani-cli with args, stdin from `input`, and the environment changed by `env`.
class RecordsCli : public ::testing::Test {
protected:
    Result run(std::vector<std::string> args, const std::string& input = {},
               const std::map<std::string, std::string>& env = {})
    {
        std::vector<std::string> changes;
        for (const auto& [key, value] : env)
            changes.push_back(key + "=" + value);
        args.insert(args.begin(), KALDRANI_CLI);
        return kaldrani::testing::runProcess(args, changes, input);
    }

    // The global option comes first, as the command line's contract has it.
    Result runIn(std::vector<std::string> args, const std::string& input = {})
    {
        args.insert(args.begin(), {"--data-dir", base().string()});
        return run(std::move(args), input);
    }

    fs::path base() const { return m_temp.path() / "base"; }
    DataFolder folder() const { return DataFolder(base()); }
    const fs::path& temp() const { return m_temp.path(); }

private:
    kaldrani::testing::TempFolder m_temp;
};

TEST_F(RecordsCli, SitesOnAFreshFolderMakesItAndPrintsNothing)
{
    const Result r = runIn({"sites"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(fs::is_directory(folder().historyFolder()));
    EXPECT_EQ(fs::file_size(folder().siteListPath()), 0u);
}

TEST_F(RecordsCli, SitesSetSavesTheFileAsTheSiteManagerDoes)
{
    struct Case {
        const char* name;
        std::string fileBytes;
        bool viaStdin;
    };
    const Case cases[] = {
        {"UTF-8", "百度.com\n\n\n  \nb.com\n", false},
        {"GBK", "\xB0\xD9\xB6\xC8.com\r\n\r\n  \r\nb.com\r\n", false},
        {"UTF-8 with a mark", "\xEF\xBB\xBF百度.com\r\n  \r\nb.com\r\n", false},
        {"UTF-16LE with a mark",
         std::string("\xFF\xFE\x7E\x76\xA6\x5E.\0c\0o\0m\0\n\0 \0 \0\n\0b\0.\0c\0o\0m\0\n\0", 34), false},
        {"standard input", "百度.com\n  \n\nb.com\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(temp() / "list.txt", c.fileBytes);
        const Result set = c.viaStdin ? runIn({"sites", "set", "-"}, c.fileBytes)
                                      : runIn({"sites", "set", (temp() / "list.txt").string()});
        EXPECT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(readBytes(folder().siteListPath()), "\xB0\xD9\xB6\xC8.com\r\n  \r\nb.com\r\n");
        const Result list = runIn({"sites"});
        EXPECT_EQ(list.exitCode, 0) << list.err;
        EXPECT_EQ(list.out, "百度.com\n  \nb.com\n");
    }
}

TEST_F(RecordsCli, SitesSetFailuresLeaveTheListAlone)
{
    ASSERT_EQ(runIn({"sites", "set", "-"}, "keep.com").exitCode, 0);

    const std::string missing = (temp() / "missing.txt").string();
    const Result r = runIn({"sites", "set", missing});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot open file \"" + missing + "\". No such file or directory"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(folder().siteListPath()), "keep.com");

    const Result noFile = runIn({"sites", "set"});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_EQ(readBytes(folder().siteListPath()), "keep.com");
}

TEST_F(RecordsCli, HistoryPrintsNewestFirstWithTabs)
{
    runIn({"sites"});
    const auto f = folder();
    kaldrani::records::appendHistoryLine(f, "a.com", "1/2,3/4,查询失败,2010-1-6 7:36:31");
    kaldrani::records::appendHistoryLine(f, "a.com", "");
    kaldrani::records::appendHistoryLine(f, "a.com", "5/6,a\tb,2010-1-7");

    const Result r = runIn({"history", "a.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "5/6\ta b\t2010-1-7\n\n1/2\t3/4\t查询失败\t2010-1-6 7:36:31\n");
}

TEST_F(RecordsCli, HistoryKeepsTheNewestThousand)
{
    runIn({"sites"});
    std::string text;
    for (int i = 1; i <= 1001; ++i)
        text += std::to_string(i) + "\r\n";
    const fs::path file = folder().historyFolder() / "a.com.txt";
    writeBytes(file, text);

    const Result r = runIn({"history", "a.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1000);
    EXPECT_TRUE(r.out.starts_with("1001\n1000\n")) << r.out.substr(0, 20);
    EXPECT_TRUE(r.out.ends_with("\n2\n"));
    EXPECT_EQ(readBytes(file), text.substr(text.find('\n') + 1));
}

TEST_F(RecordsCli, HistoryOfAnUnknownOrEscapingSiteFails)
{
    struct Case {
        const char* name;
        const char* site;
    };
    const Case cases[] = {
        {"never queried", "never.com"},
        {"names the site list", "../website"},
    };
    runIn({"sites", "set", "-"}, "a.com\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = runIn({"history", c.site});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Cannot open file \""), std::string::npos) << r.err;
    }
    EXPECT_EQ(readBytes(folder().siteListPath()), "a.com\r\n");
}

TEST_F(RecordsCli, WithoutDataDirTheFolderFollowsXdgDataHome)
{
    const fs::path xdg = temp() / "xdg";
    const Result r = run({"sites"}, {}, {{"XDG_DATA_HOME", xdg.string()}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(xdg / "kaldrani" / "vemro" / "website.txt"));
}

TEST_F(RecordsCli, UnusableDataFolderIsAClearError)
{
    writeBytes(base(), "not a folder");
    const Result r = runIn({"sites"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot create file \"" + folder().siteListPath().string() + "\"."), std::string::npos)
        << r.err;
}

} // namespace
