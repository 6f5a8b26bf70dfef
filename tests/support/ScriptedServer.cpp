#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kaldrani::testing {

Reply reply(std::string bytes, Reply::Then then)
{
    return Reply{{std::move(bytes)}, then};
}

ScriptedServer::ScriptedServer(std::vector<Reply> replies, int pieceGapMs)
    : ScriptedServer(
          [replies = std::move(replies), next = size_t{0}](const std::string&) mutable -> std::optional<Reply> {
              if (next >= replies.size())
                  return std::nullopt;
              return replies[next++];
          },
          pieceGapMs)
{
}

ScriptedServer::ScriptedServer(Handler handler, int pieceGapMs) : m_handler(std::move(handler)), m_pieceGapMs(pieceGapMs)
{
    if (!sys::makePipe(m_wakePipe, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    m_listenFd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    const int listenFd = m_listenFd.get();
    if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listenFd, 16) != 0 || ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer()
{
    const char c = 'x';
    [[maybe_unused]] const auto n = ::write(m_wakePipe.write.get(), &c, 1);
    m_thread.join();
}

std::string ScriptedServer::url(std::string_view target) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(target);
}

std::vector<std::string> ScriptedServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<int> ScriptedServer::requestConnections() const
{
    std::lock_guard lock(m_mutex);
    return m_requestConnections;
}

int ScriptedServer::connections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

bool ScriptedServer::waitReadable(int fd)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {m_wakePipe.read.get(), POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p[1].revents & POLLIN) == 0;
    }
}

void ScriptedServer::serve()
{
    for (;;) {
        if (!waitReadable(m_listenFd.get()))
            return;
        const int fd = ::accept4(m_listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int number;
        {
            std::lock_guard lock(m_mutex);
            number = m_connections++;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_pending.clear();
        serveConnection(fd, number);
        ::close(fd);
    }
}

bool ScriptedServer::readRequest(int fd, std::string& request)
{
    for (;;) {
        const size_t end = m_pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            request = m_pending.substr(0, end + 4);
            m_pending.erase(0, end + 4);
            return true;
        }
        if (!waitReadable(fd))
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        m_pending.append(buffer, static_cast<size_t>(n));
    }
}

void ScriptedServer::waitForClose(int fd)
{
    for (;;) {
        if (!waitReadable(fd))
            return;
        char buffer[4096];
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
            return;
    }
}

bool ScriptedServer::sendAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
        // A client that stops reading must not keep the server from stopping.
        pollfd p[2] = {{fd, POLLOUT, 0}, {m_wakePipe.read.get(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            return false;
        if (p[1].revents & POLLIN)
            return false;
    }
    return true;
}

void ScriptedServer::serveConnection(int fd, int number)
{
    for (;;) {
        std::string request;
        if (!readRequest(fd, request))
            return;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            m_requestConnections.push_back(number);
        }
        const std::optional<Reply> answer = m_handler(request);
        if (!answer)
            return;
        for (size_t i = 0; i < answer->pieces.size(); ++i) {
            if (i > 0 && m_pieceGapMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_pieceGapMs));
            if (!sendAll(fd, answer->pieces[i]))
                return;
        }
        switch (answer->then) {
        case Reply::Then::KeepOpen:
            continue;
        case Reply::Then::Close:
            return;
        case Reply::Then::Reset: {
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        case Reply::Then::Stall:
            waitForClose(fd);
            return;
        }
    }
}

} // namespace kaldrani::testing
