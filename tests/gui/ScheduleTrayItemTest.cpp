#include "ByteFiles.h"
#include "core/records/DataFolder.h"
#include "gui/ErrorBox.h"
#include "gui/Runner.h"
#include "gui/ScheduleTrayItem.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

using namespace kaldrani;
using namespace kaldrani::gui;
namespace fs = std::filesystem;

namespace {

// The tray item with a systemctl that accepts everything, and units in a folder of the test.
class ScheduleTray : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", (root() / "config").c_str());
        kaldrani::testing::writeBytes(root() / "systemctl", "#!/bin/sh\nexit 0\n");
        ::chmod((root() / "systemctl").c_str(), 0755);
        qputenv("KALDRANI_SYSTEMCTL", (root() / "systemctl").c_str());
        setApplicationErrorSink([this](const QString& m) { m_errors.append(m); });
        setScheduleTimeChooser([this](QWidget*, QTime initial) {
            m_asked.append(initial);
            return m_answer;
        });
        item = new ScheduleTrayItem(&m_menu, m_folder, &m_parent, m_runner);
        settle();
    }

    // Waits until the item has stopped waiting on systemctl.
    void settle()
    {
        QSignalSpy settled(item, &ScheduleTrayItem::settled);
        if (item->busy()) {
            ASSERT_TRUE(settled.wait(10000));
        }
    }

    void choose()
    {
        item->action()->trigger();
        settle();
    }

    void TearDown() override
    {
        m_runner.stop();
        delete item;
        setScheduleTimeChooser({});
        setApplicationErrorSink({});
        qputenv("KALDRANI_SYSTEMCTL", "false");
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    fs::path root() const { return fs::path(m_dir.path().toStdString()); }
    fs::path timer() const { return root() / "config" / "systemd" / "user" / "kaldrani-track.timer"; }

    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    records::DataFolder m_folder{fs::path(m_dir.path().toStdString()) / "data"};
    Runner m_runner;
    QWidget m_parent;
    QMenu m_menu;
    std::optional<QTime> m_answer = QTime(7, 30);
    QList<QTime> m_asked;
    QStringList m_errors;
    ScheduleTrayItem* item = nullptr;
};

TEST_F(ScheduleTray, ChoosingItInstallsAtTheTimeAskedAndChoosingItAgainRemoves)
{
    EXPECT_EQ(item->action()->text(), QStringLiteral("每日跟踪"));
    EXPECT_FALSE(item->action()->isChecked());
    choose();
    EXPECT_EQ(m_asked, QList<QTime>{QTime(8, 0)});
    ASSERT_TRUE(fs::exists(timer()));
    EXPECT_NE(kaldrani::testing::readBytes(timer()).find("OnCalendar=*-*-* 07:30:00"), std::string::npos);
    const std::string service = kaldrani::testing::readBytes(timer().parent_path() / "kaldrani-track.service");
    EXPECT_NE(service.find("\"--data-dir\" \"" + (root() / "data").string() + "\" track --notify"), std::string::npos)
        << service;
    EXPECT_TRUE(item->action()->isChecked());
    EXPECT_EQ(item->action()->text(), QStringLiteral("每日跟踪 07:30"));
    m_menu.adjustSize();
    EXPECT_TRUE(m_menu.grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/TrayScheduleItem.png")));

    choose();
    EXPECT_FALSE(fs::exists(timer()));
    EXPECT_FALSE(item->action()->isChecked());
    EXPECT_EQ(item->action()->text(), QStringLiteral("每日跟踪"));
    EXPECT_EQ(m_asked.size(), 1) << "removing asks nothing";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(ScheduleTray, CancellingOrNoUserSystemdInstallsNothing)
{
    m_answer = std::nullopt;
    choose();
    EXPECT_FALSE(fs::exists(timer()));
    EXPECT_FALSE(item->action()->isChecked());

    m_answer = QTime(6, 5);
    qputenv("KALDRANI_SYSTEMCTL", "false");
    choose();
    EXPECT_FALSE(fs::exists(timer()));
    EXPECT_FALSE(item->action()->isChecked());
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("5 6 * * * "))) << m_errors[0].toStdString();
}

TEST_F(ScheduleTray, TheTrayAnswersWhileSystemctlIsSlow)
{
    choose();
    ASSERT_TRUE(item->action()->isChecked());
    kaldrani::testing::writeBytes(root() / "slow-systemctl", "#!/bin/sh\nsleep 0.5\nexit 0\n");
    ::chmod((root() / "slow-systemctl").c_str(), 0755);
    qputenv("KALDRANI_SYSTEMCTL", (root() / "slow-systemctl").c_str());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    // The removal returns at once; a second choice made while it waits is dropped, and
    // the menu opening meanwhile changes nothing.
    item->action()->trigger();
    EXPECT_TRUE(item->busy());
    item->action()->trigger();
    emit m_menu.aboutToShow();
    settle();
    EXPECT_GE(ticks, 10) << "the window thread waited on systemctl";
    EXPECT_FALSE(fs::exists(timer()));
    EXPECT_FALSE(item->action()->isChecked());
    EXPECT_EQ(m_asked.size(), 1) << "the dropped choice asked nothing";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
