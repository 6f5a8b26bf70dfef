#include "core/records/DataFolder.h"
#include "core/records/History.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kaldrani::records::DataFolder;

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs kaldrani-cli with args, stdin from `input`, and the environment changed by `env`.
class RecordsCli : public ::testing::Test {
protected:
    RecordsCli()
    {
        std::string pattern = (fs::temp_directory_path() / "kaldrani-cli-records-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_temp = pattern;
    }
    ~RecordsCli() override
    {
        std::error_code ec;
        fs::remove_all(m_temp, ec);
    }

    Result run(std::vector<std::string> args, const std::string& input = {},
               const std::map<std::string, std::string>& env = {})
    {
        writeBytes(m_temp / "stdin", input);
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!env.count(entry.substr(0, entry.find('='))))
                envStrings.push_back(entry);
        }
        for (const auto& [key, value] : env)
            envStrings.push_back(key + "=" + value);

        args.insert(args.begin(), KALDRANI_CLI);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envStrings)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, (m_temp / "stdin").c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (m_temp / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (m_temp / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        Result r;
        const int rc = posix_spawn(&pid, KALDRANI_CLI, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return r;
        int wstatus = 0;
        while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) { }
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        r.out = readBytes(m_temp / "stdout");
        r.err = readBytes(m_temp / "stderr");
        return r;
    }

    // The global option comes first, as the command line's contract has it.
    Result runIn(std::vector<std::string> args, const std::string& input = {})
    {
        args.insert(args.begin(), {"--data-dir", base().string()});
        return run(std::move(args), input);
    }

    fs::path base() const { return m_temp / "base"; }
    DataFolder folder() const { return DataFolder(base()); }
    const fs::path& temp() const { return m_temp; }

private:
    fs::path m_temp;
};

TEST_F(RecordsCli, SitesOnAFreshFolderMakesItAndPrintsNothing)
{
    const Result r = runIn({"sites"});
    EXPECT_EQ(r.status, 0) << r.err;
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
        EXPECT_EQ(set.status, 0) << set.err;
        EXPECT_EQ(readBytes(folder().siteListPath()), "\xB0\xD9\xB6\xC8.com\r\n  \r\nb.com\r\n");
        const Result list = runIn({"sites"});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(list.out, "百度.com\n  \nb.com\n");
    }
}

TEST_F(RecordsCli, SitesSetFailuresLeaveTheListAlone)
{
    ASSERT_EQ(runIn({"sites", "set", "-"}, "keep.com").status, 0);

    const std::string missing = (temp() / "missing.txt").string();
    const Result r = runIn({"sites", "set", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file \"" + missing + "\". No such file or directory"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(folder().siteListPath()), "keep.com");

    const Result noFile = runIn({"sites", "set"});
    EXPECT_EQ(noFile.status, 2);
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
    EXPECT_EQ(r.status, 0) << r.err;
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
    EXPECT_EQ(r.status, 0) << r.err;
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
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Cannot open file \""), std::string::npos) << r.err;
    }
    EXPECT_EQ(readBytes(folder().siteListPath()), "a.com\r\n");
}

TEST_F(RecordsCli, WithoutDataDirTheFolderFollowsXdgDataHome)
{
    const fs::path xdg = temp() / "xdg";
    const Result r = run({"sites"}, {}, {{"XDG_DATA_HOME", xdg.string()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(xdg / "kaldrani" / "vemro" / "website.txt"));
}

TEST_F(RecordsCli, UnusableDataFolderIsAClearError)
{
    writeBytes(base(), "not a folder");
    const Result r = runIn({"sites"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot create file \"" + folder().siteListPath().string() + "\"."), std::string::npos)
        << r.err;
}

} // namespace
