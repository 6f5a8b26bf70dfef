#include "ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kaldrani::testing {

namespace {

void writeAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

SmtpStep standardSmtpReply(const std::string& command, const std::vector<std::string>& ehloCapabilities)
{
    std::string upper = command;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (startsWith(upper, "EHLO")) {
        std::string reply = "250";
        reply += ehloCapabilities.empty() ? " " : "-";
        reply += "scripted.test\r\n";
        for (size_t i = 0; i < ehloCapabilities.size(); ++i)
            reply += std::string("250") + (i + 1 == ehloCapabilities.size() ? " " : "-") + ehloCapabilities[i] + "\r\n";
        return {reply};
    }
    if (startsWith(upper, "HELO"))
        return {"250 scripted.test\r\n"};
    if (upper == "AUTH LOGIN")
        return {"334 VXNlcm5hbWU6\r\n"};
    if (upper == "DATA")
        return {"354 End data with <CR><LF>.<CR><LF>\r\n"};
    if (upper == "QUIT")
        return {"221 Bye\r\n", SmtpStep::Then::Close};
    if (startsWith(upper, "MAIL") || startsWith(upper, "RCPT") || upper == "RSET" || upper == ".")
        return {"250 OK\r\n"};
    return {"500 Unknown command\r\n"};
}

ScriptedSmtpServer::ScriptedSmtpServer(std::string greeting, Handler handler)
    : m_greeting(std::move(greeting)), m_handler(std::move(handler))
{
    if (!sys::makePipe(m_wakePipe, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    m_listenFd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd.get() < 0 || ::bind(m_listenFd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd.get(), 16) != 0 || ::getsockname(m_listenFd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    const char c = 'x';
    [[maybe_unused]] const auto n = ::write(m_wakePipe.write.get(), &c, 1);
    m_thread.join();
}

std::vector<std::string> ScriptedSmtpServer::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::vector<std::string> ScriptedSmtpServer::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int ScriptedSmtpServer::connections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

bool ScriptedSmtpServer::waitReadable(int fd)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {m_wakePipe.read.get(), POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p[1].revents & POLLIN) == 0;
    }
}

void ScriptedSmtpServer::serve()
{
    while (waitReadable(m_listenFd.get())) {
        const sys::UniqueFd fd(::accept4(m_listenFd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd)
            continue;
        {
            std::lock_guard lock(m_mutex);
            ++m_connections;
        }
        m_pending.clear();
        serveConnection(fd.get());
    }
}

bool ScriptedSmtpServer::readLine(int fd, std::string& line)
{
    for (;;) {
        const size_t lf = m_pending.find('\n');
        if (lf != std::string::npos) {
            line = m_pending.substr(0, lf + 1);
            m_pending.erase(0, lf + 1);
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

void ScriptedSmtpServer::serveConnection(int fd)
{
    if (m_greeting.empty()) {
        while (waitReadable(fd)) {
            char buffer[256];
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
                return;
        }
        return;
    }
    writeAll(fd, m_greeting);
    bool inData = false;
    std::string data;
    std::string line;
    while (readLine(fd, line)) {
        std::string command;
        if (inData) {
            if (line != ".\r\n") {
                data += line;
                continue;
            }
            inData = false;
            command = ".";
            std::lock_guard lock(m_mutex);
            m_messages.push_back(std::move(data));
            data.clear();
        } else {
            command = line;
            while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
                command.pop_back();
        }
        {
            std::lock_guard lock(m_mutex);
            m_commands.push_back(command);
        }
        const SmtpStep step = m_handler(command);
        writeAll(fd, step.reply);
        if (command != "." && step.reply.rfind("354", 0) == 0)
            inData = true;
        if (step.then == SmtpStep::Then::Close)
            return;
        if (step.then == SmtpStep::Then::Deaf) {
            pollfd p{m_wakePipe.read.get(), POLLIN, 0};
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
            return;
        }
        if (step.then == SmtpStep::Then::Drip) {
            // Each byte well inside any read time-out, so only a deadline ends the reply.
            pollfd p[2] = {{m_wakePipe.read.get(), POLLIN, 0}, {fd, POLLRDHUP, 0}};
            for (size_t i = 0; !step.reply.empty(); i = (i + 1) % step.reply.size()) {
                const int r = ::poll(p, 2, 20);
                if (r < 0 && errno == EINTR)
                    continue;
                if (r != 0 || ::send(fd, &step.reply[i], 1, MSG_NOSIGNAL) != 1)
                    return;
            }
            return;
        }
        if (step.then == SmtpStep::Then::Stall) {
            while (waitReadable(fd)) {
                char buffer[256];
                if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
                    return;
            }
            return;
        }
    }
}

} // namespace kaldrani::testing
