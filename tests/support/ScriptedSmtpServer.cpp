#include "ScriptedSmtpServer.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

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
    m_thread = std::thread([this] { serve(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    m_listener.wake();
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

void ScriptedSmtpServer::serve()
{
    while (const sys::UniqueFd fd = m_listener.accept()) {
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
        if (!m_listener.waitReadable(fd))
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
        while (m_listener.waitReadable(fd)) {
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
            pollfd p{m_listener.wakeFd(), POLLIN, 0};
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
            return;
        }
        if (step.then == SmtpStep::Then::Drip) {
            // Each byte well inside any read time-out, so only a deadline ends the reply.
            pollfd p[2] = {{m_listener.wakeFd(), POLLIN, 0}, {fd, POLLRDHUP, 0}};
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
            while (m_listener.waitReadable(fd)) {
                char buffer[256];
                if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
                    return;
            }
            return;
        }
    }
}

} // namespace kaldrani::testing
