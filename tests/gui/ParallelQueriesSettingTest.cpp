#include "ByteFiles.h"
#include "Controls.h"
#include "core/net/ConnectTo.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/DataFolder.h"
#include "core/records/History.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"
#include "gui/ParallelQueriesSetting.h"
#include "gui/MainWindow.h"
#include "StandinServer.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

using namespace kaldrani;
using namespace kaldrani::gui;
namespace fs = std::filesystem;

namespace {

// The setting with a configuration folder of the test's own; the runs' jobs put back after.
class ParallelQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", (root() / "config").c_str());
        setApplicationErrorSink([this](const QString& m) { m_errors.append(m); });
    }

    void TearDown() override
    {
        setApplicationErrorSink({});
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
        queries::setOverviewJobs(1);
        queries::setKeywordJobs(1);
    }

    fs::path root() const { return fs::path(m_dir.path().toStdString()); }
    fs::path file() const { return root() / "config" / "kaldrani" / "window.conf"; }

    // The entry of the item's submenu that chooses jobs.
    static QAction* entryFor(const ParallelQueriesSetting& setting, int jobs)
    {
        for (QAction* a : setting.action()->menu()->actions())
            if (a->data().toInt() == jobs)
                return a;
        return nullptr;
    }

    static QString checkedText(const ParallelQueriesSetting& setting)
    {
        for (QAction* a : setting.action()->menu()->actions())
            if (a->isChecked())
                return a->text();
        return {};
    }

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QStringList m_errors;
};

TEST_F(ParallelQueries, OffByDefaultAndAChoiceIsKeptForTheNextStart)
{
    QMenu menu;
    {
        ParallelQueriesSetting setting(&menu, nullptr);
        EXPECT_EQ(setting.action()->text(), "同时查询");
        EXPECT_EQ(setting.jobs(), 1);
        EXPECT_EQ(checkedText(setting), "关闭（依次查询）");
        EXPECT_EQ(queries::overviewJobs(), 1);
        EXPECT_EQ(queries::keywordJobs(), 1);
        EXPECT_FALSE(fs::exists(file()));

        ASSERT_NE(entryFor(setting, 4), nullptr);
        entryFor(setting, 4)->trigger();
        EXPECT_EQ(setting.jobs(), 4);
        EXPECT_EQ(checkedText(setting), "4 个");
        EXPECT_EQ(queries::overviewJobs(), 4);
        EXPECT_EQ(queries::keywordJobs(), 4);
    }
    queries::setOverviewJobs(1);
    queries::setKeywordJobs(1);
    QMenu again;
    const ParallelQueriesSetting restarted(&again, nullptr);
    EXPECT_EQ(restarted.jobs(), 4);
    EXPECT_EQ(checkedText(restarted), "4 个");
    EXPECT_EQ(queries::overviewJobs(), 4);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join("\n").toStdString();
}

TEST_F(ParallelQueries, AFileThatNamesNoChoiceReadsAsOffAndOtherLinesAreKept)
{
    struct Case {
        const char* name;
        const char* text;
        int jobs;
    };
    const Case cases[] = {
        {"chosen", "parallel-queries = 8\n", 8},
        {"blanks and CR LF", "  parallel-queries\t=  2 \r\n", 2},
        {"a later line wins", "parallel-queries = 2\nparallel-queries = 4\n", 4},
        {"not offered", "parallel-queries = 3\n", 1},
        {"too many", "parallel-queries = 1000\n", 1},
        {"not a number", "parallel-queries = eight\n", 1},
        {"trailing text", "parallel-queries = 4x\n", 1},
        {"negative", "parallel-queries = -4\n", 1},
        {"another key", "other = 4\n", 1},
        {"empty", "", 1},
    };
    fs::create_directories(file().parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kaldrani::testing::writeBytes(file(), c.text);
        EXPECT_EQ(readParallelQueries(file()), c.jobs);
    }
    EXPECT_EQ(readParallelQueries(root() / "missing.conf"), 1);

    kaldrani::testing::writeBytes(file(), "other = kept\nparallel-queries = 2\n");
    QMenu menu;
    ParallelQueriesSetting setting(&menu, nullptr);
    EXPECT_EQ(setting.jobs(), 2);
    entryFor(setting, 1)->trigger();
    EXPECT_EQ(kaldrani::testing::readBytes(file()), "other = kept\nparallel-queries = 1\n");
    EXPECT_EQ(queries::overviewJobs(), 1);
}

// The main window's overview with the setting on asks several hosts at once: requests to
// other hosts arrive while the first still waits for its answer.
TEST_F(ParallelQueries, TheWindowsOverviewAsksHostsSideBySideOnceChosen)
{
    constexpr int kLatencyMs = 150;
    standin::StandinServer server({.latencyMs = kLatencyMs, .keepAlive = true});
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    const records::DataFolder folder(data.path().toStdString());
    records::EnsureDataFolder(folder);
    records::saveSiteList(folder, "example.com\r\n");
    {
        AppWindows windows(folder);
        MainWindow* w = windows.mainWindow.get();
        auto* parallel = control<ParallelQueriesSetting>(w, "parallelQueries");
        EXPECT_EQ(parallel->jobs(), 1);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        entryFor(*parallel, 4)->trigger();
        server.clearRequests();
        control<QComboBox>(w, "domainBox")->setEditText("example.com");
        QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return control<QPushButton>(w, "queryButton")->isEnabled(); }, 30000));
    }
    net::clearConnectToRules();

    std::vector<std::chrono::steady_clock::time_point> arrivals;
    for (const standin::Request& r : server.requests())
        arrivals.push_back(r.received);
    ASSERT_GE(arrivals.size(), 18u);
    std::sort(arrivals.begin(), arrivals.end());
    // One after another, each request comes at least one answer's delay after the last.
    auto closest = std::chrono::steady_clock::duration::max();
    for (size_t i = 1; i < arrivals.size(); ++i)
        closest = std::min(closest, arrivals[i] - arrivals[i - 1]);
    EXPECT_LT(closest, std::chrono::milliseconds(kLatencyMs));
    // The history is written as by a run one after another.
    EXPECT_EQ(records::ReadHistory(folder, "example.com").size(), 1u);
}

} // namespace
