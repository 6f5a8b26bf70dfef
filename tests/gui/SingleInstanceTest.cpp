#include "gui/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace kaldrani::gui;

namespace {

// Leaves a socket file nobody listens on, as a program killed mid-run does.
void leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    ASSERT_LT(static_cast<size_t>(bytes.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(path));
}

TEST(SingleInstance, ALaterStartAsksTheRunningOneAndEnds)
{
    QTemporaryDir runtime, dataA, dataB;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());

    struct Case {
        const char* name;
        bool stale;
    };
    const Case cases[] = {{"clean start", false}, {"socket left by a crash", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstance first(dataA.path().toStdString());
        if (c.stale)
            leaveStaleSocket(first.serverName());
        QSignalSpy asked(&first, &SingleInstance::activationRequested);
        ASSERT_TRUE(first.claim());

        SingleInstance second(dataA.path().toStdString());
        EXPECT_EQ(second.serverName(), first.serverName());
        EXPECT_FALSE(second.claim());
        EXPECT_TRUE(asked.wait(5000));
        EXPECT_EQ(asked.count(), 1);

        // A click on a tracking notice asks for the history instead.
        QSignalSpy history(&first, &SingleInstance::historyRequested);
        SingleInstance third(dataA.path().toStdString());
        EXPECT_FALSE(third.claim(SingleInstance::Request::ShowHistory));
        EXPECT_TRUE(history.wait(5000));
        EXPECT_EQ(asked.count(), 1);

        // Another data folder is another program's business.
        SingleInstance other(dataB.path().toStdString());
        EXPECT_NE(other.serverName(), first.serverName());
        EXPECT_TRUE(other.claim());
    }
    qunsetenv("XDG_RUNTIME_DIR");
}

// The real program, started twice: the second start ends at once and the first runs on;
// after the first is killed, its socket does not keep the next start from running.
TEST(SingleInstance, TwoStartsOneProgram)
{
    QTemporaryDir runtime, data;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    auto start = [&](QProcess& p) {
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(KALDRANI_GUI_PROGRAM));
        p.start();
        return p.waitForStarted(10000);
    };
    auto listening = [&] {
        return !QDir(runtime.path()).entryList({QStringLiteral("kaldrani-*")}, QDir::System).isEmpty();
    };

    QProcess first;
    ASSERT_TRUE(start(first));
    ASSERT_TRUE(QTest::qWaitFor(listening, 20000)) << "the first start never listened";

    QProcess second;
    ASSERT_TRUE(start(second));
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(10000);
    ASSERT_TRUE(listening()) << "a killed program leaves its socket";
    QProcess third, fourth;
    ASSERT_TRUE(start(third));
    // Only a third that took the socket over sends the fourth away.
    const auto answering = [&] {
        const QStringList names = QDir(runtime.path()).entryList({QStringLiteral("kaldrani-*")}, QDir::System);
        if (names.isEmpty())
            return false;
        QLocalSocket probe;
        probe.connectToServer(runtime.path() + QLatin1Char('/') + names.front());
        return probe.waitForConnected(200);
    };
    ASSERT_TRUE(QTest::qWaitFor(answering, 20000)) << "the third start never took the socket over";
    ASSERT_TRUE(start(fourth));
    EXPECT_TRUE(fourth.waitForFinished(20000));
    EXPECT_EQ(fourth.exitCode(), 0);
    EXPECT_EQ(third.state(), QProcess::Running) << third.readAllStandardError().toStdString();
    third.kill();
    third.waitForFinished(10000);
}

} // namespace
