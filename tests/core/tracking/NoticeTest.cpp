#include "ProcessRunner.h"
#include "StandinServer.h"
#include "TempFolder.h"
#include "core/records/DataFolder.h"
#include "core/records/TrackedKeywords.h"
#include "core/tracking/DesktopNotice.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

using namespace kaldrani;

namespace {

// What the desktop's notification service is asked, kept for the test.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString app, summary, body;
        QStringList actions;
    };
    std::vector<Call> calls;

public slots:
    Q_SCRIPTABLE uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                             const QStringList& actions, const QVariantMap&, int)
    {
        calls.push_back({app, summary, body, actions});
        return static_cast<uint>(calls.size());
    }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    Q_SCRIPTABLE QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }
    Q_SCRIPTABLE void CloseNotification(uint) { }
};

// A private session bus for this test, with the fake service on it; the daemon is killed
// when the fixture goes, whatever the test did.
class NoticeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        daemon = std::make_unique<kaldrani::testing::RunningProcess>(
            std::vector<std::string>{DBUS_DAEMON, "--session", "--nofork", "--nopidfile", "--print-address=1"});
        address = daemon->readLine();
        ASSERT_FALSE(address.empty()) << "dbus-daemon gave no address";
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("notice-test")));
        ASSERT_TRUE(bus->isConnected());
        ASSERT_TRUE(bus->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                        QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(bus->registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    void TearDown() override
    {
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("notice-test"));
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        daemon.reset();
    }

    // Runs work on a thread while this one answers the bus, until work ends.
    template <class Work>
    void answerWhile(Work&& work)
    {
        std::atomic<bool> done{false};
        QEventLoop loop;
        std::thread t([&] {
            work();
            done = true;
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
        if (!done)
            loop.exec();
        t.join();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<kaldrani::testing::RunningProcess> daemon;
    std::string address;
    std::unique_ptr<QDBusConnection> bus;
    FakeNotifications server;
};

TEST_F(NoticeTest, TheNoticeReachesTheNotificationService)
{
    tracking::Notice notice{"Kaldrani：2 项变化", {"a.com: 百度 收录情况 100 -> 200 (+100%)", "<b>&"}};
    std::string why = "not run";
    answerWhile([&] { why = tracking::showNotice(notice); });
    EXPECT_EQ(why, "");
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_EQ(server.calls[0].app, QStringLiteral("Kaldrani"));
    EXPECT_EQ(server.calls[0].summary, QStringLiteral("Kaldrani：2 项变化"));
    // The body is markup where the server says so: what would open a tag is escaped.
    EXPECT_EQ(server.calls[0].body, QStringLiteral("a.com: 百度 收录情况 100 -&gt; 200 (+100%)\n&lt;b&gt;&amp;"));
}

TEST_F(NoticeTest, ATrackThatMovedSaysSoAndOneThatDidNotStaysQuiet)
{
    kaldrani::testing::TempFolder temp;
    records::DataFolder folder(temp.path());
    records::makeDataFolder(folder);
    records::saveSiteList(folder, "example.com\n");
    records::addTrackedKeyword(folder, "example.com", "网站优化");
    standin::StandinServer standin;
    auto track = [&] {
        return kaldrani::testing::runProcess(
            {KALDRANI_CLI, "--connect-to", "::127.0.0.1:" + std::to_string(standin.port()), "--data-dir",
             temp.path().string(), "track", "--delay", "0", "--notify"},
            {"KALDRANI_CONNECT_TO=", "DBUS_SESSION_BUS_ADDRESS=" + address});
    };
    kaldrani::testing::ProcessResult run;
    answerWhile([&] { run = track(); });
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(server.calls.empty()) << "a first run has nothing to compare with";

    standin.setDay(1);
    answerWhile([&] { run = track(); });
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_TRUE(server.calls[0].summary.startsWith(QStringLiteral("Kaldrani："))) << server.calls[0].summary.toStdString();
    EXPECT_TRUE(server.calls[0].body.startsWith(QStringLiteral("example.com: 百度 收录情况 ")));
}

// The click is awaited by a process of its own, so the run is over long before it comes.
TEST_F(NoticeTest, AClickOnTheNoticeRunsWhatItOpens)
{
    kaldrani::testing::TempFolder temp;
    const std::filesystem::path clicked = temp.path() / "clicked";
    std::string why = "not run";
    answerWhile([&] { why = tracking::showNotice({"Kaldrani：1 项变化", {"x"}}, {"touch", clicked.string()}); });
    EXPECT_EQ(why, "");
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_EQ(server.calls[0].actions, (QStringList{QStringLiteral("default"), QStringLiteral("查看记录")}));
    EXPECT_FALSE(std::filesystem::exists(clicked));

    QDBusMessage click = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                    QStringLiteral("org.freedesktop.Notifications"),
                                                    QStringLiteral("ActionInvoked"));
    click << 1u << QStringLiteral("default");
    ASSERT_TRUE(bus->send(click));
    for (int i = 0; i < 250 && !std::filesystem::exists(clicked); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(std::filesystem::exists(clicked));
}

TEST_F(NoticeTest, WithoutAServiceTheRunStillSucceeds)
{
    bus->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    std::string why;
    answerWhile([&] { why = tracking::showNotice({"Kaldrani：1 项变化", {"x"}}); });
    EXPECT_NE(why, "");
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    answerWhile([&] { why = tracking::showNotice({"Kaldrani：1 项变化", {"x"}}); });
    EXPECT_NE(why, "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "NoticeTest.moc"
