#include "core/records/DataFolder.h"
#include "core/records/History.h"

#include "ByteFiles.h"
#include "CsvReader.h"
#include "ProcessRunner.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using kaldrani::testing::readBytes;
using kaldrani::testing::readCsv;
using kaldrani::testing::runProcess;
using Fields = std::vector<std::string>;

// Runs argv with standard output on a terminal (a pseudo-terminal in raw mode, so that
// the bytes arrive as written) and returns what it wrote there.
std::string outputOnATerminal(const std::vector<std::string>& argv)
{
    int master = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    std::string out;
    if (rc == 0) {
        // Read until the program ends and the terminal reports no more (EIO once closed).
        char buffer[4096];
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<size_t>(n));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    return out;
}

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

TEST_F(HistoryCsvCli, HostileRecordsReachNeitherASpreadsheetNorATerminalAsCommands)
{
    // What a count page saying 找到相关网页=HYPERLINK(...)篇 and an Alexa reply of terminal
    // controls leave in a history.
    const std::string line = "=HYPERLINK(\"evil.test\")/@SUM(A1),-1/0,0/0,0/0,0/0,0/0,0/0,0,0,"
                             "\x1B]0;pwned\x07+cmd|' /C calc'!A0,-,2010-1-6";
    kaldrani::records::appendHistoryLine(folder, "a.com", line);
    const std::string stored = readBytes(folder.historyPath("a.com"));

    // Into a pipe the CSV is exact: only the formulas are defused.
    const auto piped = history({"--csv", "a.com"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    const auto rows = readCsv(piped.out);
    ASSERT_TRUE(rows && rows->size() == 2u) << piped.out;
    EXPECT_EQ(rows->at(1), (Fields{"2010-01-06T00:00:00", "'=HYPERLINK(\"evil.test\")", "'@SUM(A1)", "-1", "0", "0",
                                   "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0",
                                   "\x1B]0;pwned\x07+cmd|' /C calc'!A0", "-"}));
    EXPECT_EQ(readBytes(folder.historyPath("a.com")), stored) << "the record keeps its bytes";

    // On a terminal the controls are shown escaped, the rows still end in CR LF.
    const std::string shown = outputOnATerminal(
        {KALDRANI_CLI, "--data-dir", m_temp.path().string(), "history", "--csv", "a.com"});
    EXPECT_NE(shown.find(",\\x1B]0;pwned\\x07+cmd|' /C calc'!A0,-\r\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1B'), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x07'), std::string::npos) << shown;
}

TEST_F(HistoryCsvCli, UnknownSiteFailsAsThePlainListingDoes)
{
    const auto r = history({"--csv", "never.com"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no history for this site"), std::string::npos) << r.err;
}

} // namespace
