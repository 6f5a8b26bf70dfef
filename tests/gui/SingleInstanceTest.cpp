#include "gui/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

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

// A connected Unix socket to path, or -1.
int connectTo(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(addr.sun_path, bytes.constData(), std::min(static_cast<size_t>(bytes.size()), sizeof addr.sun_path - 1));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The program's side of the connection is gone: a read sees its end, without waiting.
bool closedByPeer(int fd)
{
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN);
}

// Sets an environment variable for the test's scope; unset when value is null.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray* value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(SingleInstance, WithoutARuntimeFolderTheSocketIsInAFolderOfOurOwn)
{
    QTemporaryDir tmp, data, loose;
    ::chmod(QFile::encodeName(loose.path()).constData(), 0755);
    const QByteArray tmpPath = tmp.path().toUtf8();
    const QByteArray loosePath = loose.path().toUtf8();
    const ScopedEnv tmpdir("TMPDIR", &tmpPath);
    const QString own = tmp.path() + QStringLiteral("/kaldrani-%1").arg(::getuid());

    // No runtime folder, or one others may enter: the socket goes into a 0700 folder of ours.
    for (const QByteArray* runtime : {static_cast<const QByteArray*>(nullptr), &loosePath}) {
        SCOPED_TRACE(runtime ? "runtime folder of mode 0755" : "no runtime folder");
        const ScopedEnv env("XDG_RUNTIME_DIR", runtime);
        SingleInstance first(data.path().toStdString());
        EXPECT_TRUE(first.serverName().startsWith(own + QLatin1Char('/'))) << first.serverName().toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        QSignalSpy asked(&first, &SingleInstance::activationRequested);
        ASSERT_TRUE(first.claim());
        SingleInstance second(data.path().toStdString());
        EXPECT_FALSE(second.claim());
        EXPECT_TRUE(asked.wait(5000));
    }

    // A folder in its place that is not ours alone (made first by someone else, or a link)
    // is not used: the program starts anyway and says why, rather than ending unseen.
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"open to others", [](const QString& at) { ::mkdir(QFile::encodeName(at).constData(), 0777); ::chmod(QFile::encodeName(at).constData(), 0777); }},
        {"a link to a folder", [&loose](const QString& at) { QFile::link(loose.path(), at); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir otherTmp;
        const QByteArray otherPath = otherTmp.path().toUtf8();
        const ScopedEnv env("TMPDIR", &otherPath);
        c.make(otherTmp.path() + QStringLiteral("/kaldrani-%1").arg(::getuid()));
        SingleInstance first(data.path().toStdString());
        EXPECT_TRUE(first.serverName().isEmpty()) << first.serverName().toStdString();
        EXPECT_TRUE(first.claim());
        EXPECT_FALSE(first.trouble().isEmpty());
        SingleInstance second(data.path().toStdString());
        EXPECT_TRUE(second.claim()) << "without a private channel each start runs";
    }
}

TEST(SingleInstance, APeerIsHeardForOneShortLineAFewAtATimeAndNotForLong)
{
    QTemporaryDir runtime, data;
    const QByteArray runtimePath = runtime.path().toUtf8();
    const ScopedEnv env("XDG_RUNTIME_DIR", &runtimePath);
    SingleInstance first(data.path().toStdString());
    ASSERT_TRUE(first.claim());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    // A line without its end is dropped once it passes 1 KiB, however much more comes.
    const int flood = connectTo(first.serverName());
    ASSERT_GE(flood, 0);
    const std::string bytes(64 * 1024, 'x');
    size_t sent = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const ssize_t n = ::send(flood, bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<size_t>(n);
        return (n < 0 && errno != EAGAIN) || closedByPeer(flood);
    }, 5000));
    ::close(flood);

    // Silent connections beyond the cap are closed at once; the others after the idle time.
    // (Fewer than the listen backlog, so that no connect waits for an accept.)
    std::vector<int> idle;
    for (int i = 0; i < 12; ++i)
        idle.push_back(connectTo(first.serverName()));
    const auto closedCount = [&idle] {
        return static_cast<size_t>(std::count_if(idle.begin(), idle.end(), [](int fd) { return fd < 0 || closedByPeer(fd); }));
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return closedCount() >= idle.size() - SingleInstance::kMaxConnections; }, 1000));
    EXPECT_EQ(closedCount(), idle.size() - SingleInstance::kMaxConnections);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closedCount() == idle.size(); }, SingleInstance::kIdleMs + 3000));
    for (const int fd : idle)
        ::close(fd);

    // And a later start is still heard.
    EXPECT_EQ(asked.count(), 0);
    SingleInstance second(data.path().toStdString());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(asked.wait(5000));
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
        const int probe = connectTo(runtime.path() + QLatin1Char('/') + names.front());
        ::close(probe);
        return probe >= 0;
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
