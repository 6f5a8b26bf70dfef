#include "gui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace kaldrani::gui {

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShowHistory = QByteArrayLiteral("history\n");

QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime;
    return QDir::tempPath();
}

} // namespace

SingleInstance::SingleInstance(const std::filesystem::path& dataFolderBase, QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this))
{
    std::error_code ec;
    std::filesystem::path base = std::filesystem::weakly_canonical(dataFolderBase, ec);
    if (ec)
        base = std::filesystem::absolute(dataFolderBase, ec);
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(base.string()), QCryptographicHash::Sha256).toHex().left(16);
    m_name = runtimeFolder() + QStringLiteral("/kaldrani-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));

    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            auto readRequest = [this, peer] {
                if (!peer->canReadLine())
                    return;
                const QByteArray line = peer->readLine();
                if (line == kShow)
                    emit activationRequested();
                else if (line == kShowHistory)
                    emit historyRequested();
            };
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, readRequest);
            readRequest();
        }
    });
}

bool SingleInstance::askRunningProgram(Request request)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(request == Request::ShowHistory ? kShowHistory : kShow);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::claim(Request request)
{
    // Two starts at the same moment must not both find no program and both listen.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.tryLock(kWaitMs);
    if (askRunningProgram(request))
        return false;
    // Nobody answers: whatever socket is there was left by a crash.
    QLocalServer::removeServer(m_name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Failing to listen costs only the hand-over, never the start itself.
    m_server->listen(m_name);
    return true;
}

} // namespace kaldrani::gui
