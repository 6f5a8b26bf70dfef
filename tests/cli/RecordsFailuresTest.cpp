#include "ByteFiles.h"
#include "ProcessRunner.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using kaldrani::testing::ProcessResult;
using kaldrani::testing::readBytes;
using kaldrani::testing::runProcess;
using kaldrani::testing::writeBytes;

std::string numbered(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += 'r' + std::to_string(i) + ",1/2\r\n";
    return text;
}

size_t lineCount(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The command line as a careless user meets it: run through a shell that may redirect its
// output, lower its file size limit or drop to an ordinary user; always under a time-out,
// so a hang shows as a failure.
class RecordsFailures : public ::testing::Test {
protected:
    RecordsFailures()
    {
        // An ordinary user must reach the folder the test made as root.
        fs::permissions(m_base.path(), fs::perms(0755));
        EXPECT_EQ(cli("sites set -  <<'EOF'\nexample.com\nEOF").exitCode, 0);
        for (const auto& p : {root(), data()})
            fs::permissions(p, fs::perms(0777));
        fs::permissions(root() / "website.txt", fs::perms(0666));
    }
    ~RecordsFailures() override
    {
        std::error_code ec;
        fs::permissions(root(), fs::perms(0777), ec);
        fs::permissions(data(), fs::perms(0777), ec);
    }

    // `args` and what follows them are shell text; `prefix` goes before the program.
    ProcessResult cli(const std::string& args, const std::string& prefix = "")
    {
        const std::string script = prefix + " timeout 20 " + KALDRANI_CLI + " --data-dir " + m_base.path().string()
                                 + " --connect-to ::127.0.0.1:1 " + args;
        return runProcess({"/bin/sh", "-c", script});
    }

    // Whether cliAsUser can act as an ordinary user here: as root that needs setpriv and a
    // build folder the other user may enter (a private temporary folder is not).
    static bool canDrop()
    {
        if (::geteuid() != 0)
            return true;
        // Started exactly as cliAsUser starts it: setpriv may reach the program where the
        // ordinary user's own exec (through timeout) may not.
        return fs::exists("/usr/bin/setpriv") &&
               runProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "timeout", "20",
                           KALDRANI_CLI, "--help"})
                       .exitCode == 0;
    }

    // The same, as an ordinary user when the test runs as root.
    ProcessResult cliAsUser(const std::string& args)
    {
        return cli(args, ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "");
    }

    fs::path root() const { return m_base.path() / "vemro"; }
    fs::path data() const { return root() / "data"; }
    fs::path history() const { return data() / "example.com.txt"; }

private:
    kaldrani::testing::TempFolder m_base;
};

TEST_F(RecordsFailures, OutputThatCannotBeWrittenIsNoSuccess)
{
    writeBytes(history(), "1/2,3\r\n");
    for (const char* verb : {"sites", "history example.com", "overview example.com"}) {
        SCOPED_TRACE(verb);
        const ProcessResult r = cli(std::string(verb) + " > /dev/full");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "kaldrani-cli: cannot write the output: No space left on device\n");
    }
}

TEST_F(RecordsFailures, AnOddSiteListFailsAtOnceAndHistoryDoesNotNeedIt)
{
    writeBytes(history(), "1/2,3\r\n");
    struct Case {
        const char* name;
        bool fifo;
        const char* reason;
    };
    const Case cases[] = {
        {"FIFO", true, "Not a regular file"},
        {"folder", false, "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "website.txt");
        if (c.fifo)
            ASSERT_EQ(::mkfifo((root() / "website.txt").c_str(), 0666), 0);
        else
            fs::create_directory(root() / "website.txt");
        const std::string expected =
            "kaldrani-cli: Cannot open file \"" + (root() / "website.txt").string() + "\". " + c.reason + "\n";
        for (const char* verb : {"sites", "overview example.com"}) {
            const ProcessResult r = cli(verb);
            EXPECT_EQ(r.exitCode, 1) << verb;
            EXPECT_EQ(r.err, expected) << verb;
        }
        const ProcessResult h = cli("history example.com");
        EXPECT_EQ(h.exitCode, 0) << h.err;
        EXPECT_EQ(h.out, "1/2\t3\n");
    }
}

TEST_F(RecordsFailures, OverviewFailsWhenItsRecordIsNotWritten)
{
    if (!canDrop())
        GTEST_SKIP() << "cannot run the program as an ordinary user here (no setpriv, or a build folder closed to others)";
    struct Case {
        const char* name;
        const char* prefix;
        bool asUser;
        void (*setUp)(const fs::path& history);
        bool fileAfter;
    };
    const Case cases[] = {
        {"the history path is a folder", "", false, [](const fs::path& h) { fs::create_directory(h); }, true},
        {"a read-only history", "", true,
         [](const fs::path& h) {
             writeBytes(h, "old\r\n");
             fs::permissions(h, fs::perms(0444));
         },
         true},
        // A full disk, for a site that has no history yet.
        {"no room for the first record", "trap '' XFSZ; ulimit -f 0;", false, [](const fs::path&) {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(history());
        c.setUp(history());
        const std::string before = fs::is_regular_file(history()) ? readBytes(history()) : "";
        const ProcessResult r = c.asUser ? cliAsUser("overview example.com") : cli("overview example.com", c.prefix);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(lineCount(r.out), 11u);
        EXPECT_TRUE(r.err.starts_with("kaldrani-cli: the history record was not written: Cannot ")) << r.err;
        EXPECT_EQ(fs::exists(history()), c.fileAfter);
        if (fs::is_regular_file(history())) {
            EXPECT_EQ(readBytes(history()), before);
        }
    }
}

TEST_F(RecordsFailures, AnOrdinaryUserKeepsWhatTheyMayNotWriteAndSavesWhatTheyMay)
{
    if (!canDrop())
        GTEST_SKIP() << "cannot run the program as an ordinary user here (no setpriv, or a build folder closed to others)";
    struct Case {
        const char* name;
        mode_t listMode, historyMode, folderMode;
        int historyLines;
        int setStatus;
        const char* listAfter;
        size_t historyLinesAfter;
    };
    const Case cases[] = {
        {"read-only files in writable folders", 0444, 0444, 0777, 1500, 1, "example.com\r\n", 1500},
        {"writable files in read-only folders", 0666, 0666, 0555, 1200, 0, "new.com\r\n", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(root() / "website.txt", "example.com\r\n");
        writeBytes(history(), numbered(c.historyLines));
        fs::permissions(root() / "website.txt", fs::perms(c.listMode));
        fs::permissions(history(), fs::perms(c.historyMode));
        fs::permissions(root(), fs::perms(c.folderMode));
        fs::permissions(data(), fs::perms(c.folderMode));

        const ProcessResult set = cliAsUser("sites set - <<'EOF'\nnew.com\nEOF");
        const ProcessResult shown = cliAsUser("history example.com");

        fs::permissions(root(), fs::perms(0777));
        fs::permissions(data(), fs::perms(0777));
        EXPECT_EQ(set.exitCode, c.setStatus) << set.err;
        EXPECT_EQ(readBytes(root() / "website.txt"), c.listAfter);
        EXPECT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_EQ(lineCount(shown.out), 1000u);
        EXPECT_TRUE(shown.out.starts_with('r' + std::to_string(c.historyLines) + "\t1/2\n"));
        EXPECT_EQ(lineCount(readBytes(history())), c.historyLinesAfter);
    }
}

} // namespace
