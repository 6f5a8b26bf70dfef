#include "gui/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

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

        // Another data folder is another program's business.
        SingleInstance other(dataB.path().toStdString());
        EXPECT_NE(other.serverName(), first.serverName());
        EXPECT_TRUE(other.claim());
    }
    qunsetenv("XDG_RUNTIME_DIR");
}

} // namespace
