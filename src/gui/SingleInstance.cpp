#include "gui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

namespace kaldrani::gui {

namespace {

constexpr int kWaitMs = 2000;
constexpr std::string_view kShow = "show\n";
constexpr std::string_view kShowHistory = "history\n";

// A folder only this user may enter: ours, a folder (not a link to one), no access for
// group or others. Empty when it is; else what is wrong.
QString notPrivate(const QString& folder)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return QStringLiteral("%1 is not a folder of this user's alone (mode 0700)").arg(folder);
    return {};
}

// $XDG_RUNTIME_DIR when it is private, else a folder of our own in the temporary folder,
// made 0700 when missing. Sets why and returns empty when neither is private.
QString privateFolder(QString& why)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && notPrivate(runtime).isEmpty())
        return runtime;
    const QString own = QDir::tempPath() + QStringLiteral("/kaldrani-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    why = notPrivate(own);
    return why.isEmpty() ? own : QString();
}

// The uid of the process at the other end of a Unix socket, or -1.
long long peerUid(int fd)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return -1;
    return credentials.uid;
}

bool addressOf(const QString& path, sockaddr_un& address)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (static_cast<size_t>(bytes.size()) >= sizeof address.sun_path)
        return false;
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

// Waits up to ms for events on fd; true when they came.
bool waitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

} // namespace

struct SingleInstance::Peer {
    sys::UniqueFd fd;
    std::string line;
    QSocketNotifier* notifier = nullptr;
    QTimer* idle = nullptr;
};

SingleInstance::SingleInstance(const std::filesystem::path& dataFolderBase, QObject* parent) : QObject(parent)
{
    std::error_code ec;
    std::filesystem::path base = std::filesystem::weakly_canonical(dataFolderBase, ec);
    if (ec)
        base = std::filesystem::absolute(dataFolderBase, ec);
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(base.string()), QCryptographicHash::Sha256).toHex().left(16);
    const QString folder = privateFolder(m_trouble);
    if (!folder.isEmpty())
        m_name = folder + QStringLiteral("/kaldrani-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

SingleInstance::~SingleInstance()
{
    // The next start finds no socket rather than one nobody answers.
    if (m_listener)
        ::unlink(QFile::encodeName(m_name).constData());
    for (auto& [fd, peer] : m_peers) {
        delete peer->notifier;
        delete peer->idle;
    }
}

void SingleInstance::giveUp(const QString& why)
{
    m_trouble = why;
    std::cerr << "kaldrani: starting without the single-instance channel: " << why.toStdString() << std::endl;
}

SingleInstance::Asked SingleInstance::askRunningProgram(Request request)
{
    sockaddr_un address;
    if (!addressOf(m_name, address))
        return Asked::NobodyThere;
    sys::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket || ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return Asked::NobodyThere;
    // Only this user's own program is asked; anyone else's is not told what we want.
    if (peerUid(socket.get()) != static_cast<long long>(::getuid()))
        return Asked::Stranger;
    const std::string_view bytes = request == Request::ShowHistory ? kShowHistory : kShow;
    size_t sent = 0;
    while (sent < bytes.size() && waitFor(socket.get(), POLLOUT, kWaitMs)) {
        const ssize_t n = ::send(socket.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    return sent == bytes.size() ? Asked::Done : Asked::NobodyThere;
}

bool SingleInstance::listen()
{
    sockaddr_un address;
    if (!addressOf(m_name, address))
        return false;
    // Nobody answers: whatever socket is there was left by a crash.
    struct stat st {};
    if (::lstat(address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(address.sun_path);
    sys::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::chmod(address.sun_path, 0600) != 0 || ::listen(listener.get(), 16) != 0)
        return false;
    m_listener = std::move(listener);
    m_acceptNotifier = new QSocketNotifier(m_listener.get(), QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, [this] { acceptPeers(); });
    return true;
}

void SingleInstance::acceptPeers()
{
    for (;;) {
        sys::UniqueFd fd(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd)
            return;
        // Another user's process, or one connection too many, is closed at once.
        if (peerUid(fd.get()) != static_cast<long long>(::getuid()) || m_peers.size() >= kMaxConnections)
            continue;
        const int key = fd.get();
        auto peer = std::make_unique<Peer>();
        peer->fd = std::move(fd);
        peer->notifier = new QSocketNotifier(key, QSocketNotifier::Read, this);
        peer->idle = new QTimer(this);
        peer->idle->setSingleShot(true);
        connect(peer->notifier, &QSocketNotifier::activated, this, [this, key] { readPeer(key); });
        connect(peer->idle, &QTimer::timeout, this, [this, key] { dropPeer(key); });
        peer->idle->start(kIdleMs);
        m_peers.emplace(key, std::move(peer));
        readPeer(key);
    }
}

void SingleInstance::readPeer(int fd)
{
    const auto it = m_peers.find(fd);
    if (it == m_peers.end())
        return;
    Peer& peer = *it->second;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            dropPeer(fd);
            return;
        }
        peer.line.append(chunk, static_cast<size_t>(n));
        const size_t end = peer.line.find('\n');
        if (end != std::string::npos) {
            const std::string request = peer.line.substr(0, end + 1);
            dropPeer(fd);
            if (request == kShow)
                emit activationRequested();
            else if (request == kShowHistory)
                emit historyRequested();
            return;
        }
        // A request is one short line; a peer that sends more is not heard.
        if (peer.line.size() >= kMaxRequestBytes) {
            dropPeer(fd);
            return;
        }
    }
}

void SingleInstance::dropPeer(int fd)
{
    const auto it = m_peers.find(fd);
    if (it == m_peers.end())
        return;
    // Deleted later: this may run inside the notifier's or the timer's own signal.
    it->second->notifier->setEnabled(false);
    it->second->notifier->deleteLater();
    it->second->idle->stop();
    it->second->idle->deleteLater();
    m_peers.erase(it);
}

bool SingleInstance::claim(Request request)
{
    if (m_name.isEmpty()) {
        giveUp(m_trouble);
        return true;
    }
    // Two starts at the same moment must not both find no program and both listen.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.tryLock(kWaitMs);
    switch (askRunningProgram(request)) {
    case Asked::Done: return false;
    case Asked::Stranger:
        giveUp(m_name + QStringLiteral(" is held by another user's process"));
        return true;
    case Asked::NobodyThere: break;
    }
    // Failing to listen costs only the hand-over, never the start itself.
    if (!listen())
        giveUp(m_name + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

} // namespace kaldrani::gui
