#include "ScriptedServer.h"

#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kaldrani::testing {

Reply reply(std::string bytes, Reply::Then then)
{
    return Reply{{std::move(bytes)}, then};
}

std::string okAnswer(const std::string& body, const std::string& extra)
{
    std::string answer = "HTTP/1.1 200 OK\r\n";
    answer += extra;
    answer += "Content-Length: ";
    answer += std::to_string(body.size());
    answer += "\r\n\r\n";
    answer += body;
    return answer;
}

std::string crlfLines(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n')
            out += '\r';
        out += text[i];
    }
    return out;
}

ScriptedServer::ScriptedServer(std::vector<Reply> replies, int pieceGapMs, std::string requestEnd)
    : ScriptedServer(
          [replies = std::move(replies), next = size_t{0}](const std::string&) mutable -> std::optional<Reply> {
              if (next >= replies.size())
                  return std::nullopt;
              return replies[next++];
          },
          pieceGapMs, std::move(requestEnd))
{
}

ScriptedServer::ScriptedServer(Handler handler, int pieceGapMs, std::string requestEnd)
    : m_handler(std::move(handler)), m_pieceGapMs(pieceGapMs), m_requestEnd(std::move(requestEnd))
{
    m_thread = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer()
{
    m_listener.wake();
    m_thread.join();
}

std::string ScriptedServer::url(std::string_view target) const
{
    return "http://127.0.0.1:" + std::to_string(port()) + std::string(target);
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

void ScriptedServer::serve()
{
    for (;;) {
        sys::UniqueFd connection = m_listener.accept();
        if (!connection)
            return;
        const int fd = connection.get();
        int number;
        {
            std::lock_guard lock(m_mutex);
            number = m_connections++;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_pending.clear();
        serveConnection(fd, number);
    }
}

bool ScriptedServer::readRequest(int fd, std::string& request)
{
    for (;;) {
        const size_t end = m_pending.find(m_requestEnd);
        if (end != std::string::npos) {
            request = m_pending.substr(0, end + m_requestEnd.size());
            m_pending.erase(0, end + m_requestEnd.size());
            return true;
        }
        if (!m_listener.waitReadable(fd))
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
        if (!m_listener.waitReadable(fd))
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
        pollfd p[2] = {{fd, POLLOUT, 0}, {m_listener.wakeFd(), POLLIN, 0}};
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
