#include "ByteFiles.h"
#include "ProcessRunner.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kaldrani::testing::lines;
using kaldrani::testing::ProcessResult;
using kaldrani::testing::readBytes;
using kaldrani::testing::writeBytes;

// A systemctl that notes each call and answers show-environment as told.
class ScheduleCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(home());
        writeBytes(systemctl(), "#!/bin/sh\necho \"$*\" >> '" + log().string()
                                    + "'\nif [ \"$2\" = show-environment ] && [ -e '" + (temp.path() / "no-systemd").string()
                                    + "' ]; then echo 'Failed to connect to bus' >&2; exit 1; fi\n"
                                      "case \"$2\" in is-enabled) echo enabled;; is-active) echo active;; esac\nexit 0\n");
        ::chmod(systemctl().c_str(), 0755);
    }

    ProcessResult cli(std::vector<std::string> args, const std::string& dataDir = "data dir")
    {
        args.insert(args.begin(), {KALDRANI_CLI, "--data-dir", (temp.path() / dataDir).string()});
        return kaldrani::testing::runProcess(args, {"KALDRANI_SYSTEMCTL=" + systemctl().string(),
                                                    "HOME=" + home().string(), "XDG_CONFIG_HOME"});
    }

    fs::path home() const { return temp.path() / "home"; }
    fs::path systemctl() const { return temp.path() / "systemctl"; }
    fs::path log() const { return temp.path() / "calls"; }
    fs::path units() const { return home() / ".config" / "systemd" / "user"; }
    std::vector<std::string> calls() const { return fs::exists(log()) ? lines(readBytes(log())) : std::vector<std::string>{}; }

    kaldrani::testing::TempFolder temp;
};

TEST_F(ScheduleCli, InstallWritesUnitsThatSystemdAcceptsAndStatusAndRemoveFollow)
{
    const auto install = cli({"schedule", "install", "--at", "7:05"});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    EXPECT_EQ(install.out, "installed: daily at 07:05 (enabled, active)\n");
    const std::string timer = readBytes(units() / "kaldrani-track.timer");
    const std::string service = readBytes(units() / "kaldrani-track.service");
    EXPECT_NE(timer.find("OnCalendar=*-*-* 07:05:00\n"), std::string::npos);
    EXPECT_NE(timer.find("Persistent=true\n"), std::string::npos);
    EXPECT_NE(timer.find("RandomizedDelaySec="), std::string::npos);
    EXPECT_NE(service.find("ExecStart=\"" KALDRANI_CLI "\" \"--data-dir\" \"" + (temp.path() / "data dir").string()
                           + "\" track --notify\n"),
              std::string::npos)
        << service;
    // The notice's click is awaited after the run has ended.
    EXPECT_NE(service.find("KillMode=process\n"), std::string::npos) << service;
    // The changes, in order, among the questions (show-environment, is-enabled, ...).
    const std::vector<std::string> expected = {"--user daemon-reload", "--user enable --now kaldrani-track.timer",
                                               "--user restart kaldrani-track.timer"};
    auto made = calls();
    std::erase_if(made, [](const std::string& c) { return c.find(" is-") != std::string::npos || c.ends_with("show-environment"); });
    EXPECT_EQ(made, expected);

    // systemd itself reads the units without a complaint.
    fs::create_directories(temp.path() / "runtime");
    const auto verify = kaldrani::testing::runProcess(
        {"/usr/bin/systemd-analyze", "--user", "verify", (units() / "kaldrani-track.timer").string(),
         (units() / "kaldrani-track.service").string()},
        {"XDG_RUNTIME_DIR=" + (temp.path() / "runtime").string(), "HOME=" + home().string()});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_EQ(verify.err + verify.out, "");

    const auto status = cli({"schedule", "status"});
    EXPECT_EQ(status.out, "installed: daily at 07:05 (enabled, active)\n");

    fs::remove(log());
    const auto remove = cli({"schedule", "remove"});
    EXPECT_EQ(remove.out, "removed\n");
    EXPECT_FALSE(fs::exists(units() / "kaldrani-track.timer"));
    EXPECT_FALSE(fs::exists(units() / "kaldrani-track.service"));
    made = calls();
    EXPECT_NE(std::find(made.begin(), made.end(), "--user disable --now kaldrani-track.timer"), made.end());
    EXPECT_EQ(cli({"schedule", "status"}).out, "not installed\n");
    EXPECT_EQ(cli({"schedule", "remove"}).out, "not installed\n");
}

TEST_F(ScheduleCli, WithoutUserSystemdItPrintsTheCrontabLineAndWritesNothing)
{
    writeBytes(temp.path() / "no-systemd", "");
    const auto install = cli({"schedule", "install", "--at", "23:59"});
    EXPECT_EQ(install.exitCode, 1);
    EXPECT_EQ(install.out, "59 23 * * * '" KALDRANI_CLI "' '--data-dir' '" + (temp.path() / "data dir").string()
                               + "' track --notify\n");
    EXPECT_NE(install.err.find("no user systemd"), std::string::npos) << install.err;
    EXPECT_FALSE(fs::exists(units()));
    EXPECT_EQ(cli({"schedule", "status"}).out, "not installed; no user systemd is running\n");
}

TEST_F(ScheduleCli, AFolderNameIsWrittenAsItIsOrRefused)
{
    // systemd would read ${HOME} as the variable and "$$" as one "$"; "%h" as the home folder.
    const auto install = cli({"schedule", "install"}, "data $HOME $$ %h");
    ASSERT_EQ(install.exitCode, 0) << install.err;
    const std::string service = readBytes(units() / "kaldrani-track.service");
    EXPECT_NE(service.find("\"" + (temp.path() / "data $$HOME $$$$ %%h").string() + "\" track --notify\n"),
              std::string::npos)
        << service;
    fs::remove_all(units());

    // A line break would end the unit's line or the crontab line there: nothing is written.
    for (const bool systemd : {true, false}) {
        SCOPED_TRACE(systemd ? "systemd" : "crontab");
        if (!systemd)
            writeBytes(temp.path() / "no-systemd", "");
        fs::remove(log());
        const auto refused = cli({"schedule", "install"}, "data\nExecStartPre=/bin/false");
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find("control character"), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(units()));
        EXPECT_TRUE(calls().empty());
    }
}

TEST_F(ScheduleCli, RefusesATimeThatIsNone)
{
    for (const char* at : {"24:00", "7", "07:5", "7:60", "ab:cd", "-1:00"}) {
        SCOPED_TRACE(at);
        const auto r = cli({"schedule", "install", "--at", at});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(fs::exists(units()));
    }
}

} // namespace
