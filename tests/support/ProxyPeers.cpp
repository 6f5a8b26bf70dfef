#include "ProxyPeers.h"

#include "TlsPeers.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace kaldrani::testing {

void awaitListening(int port, const std::string& what)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok)
            return;
        if (std::chrono::steady_clock::now() > until)
            throw std::runtime_error(what + " did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Tinyproxy::Tinyproxy(const std::string& user, const std::string& password) : m_port(freeLoopbackPort())
{
    const std::string config = (m_folder.path() / "tinyproxy.conf").string();
    std::ofstream out(config);
    out << "Port " << m_port << "\n"
        << "Listen 127.0.0.1\n"
        << "Timeout 30\n"
        << "MaxClients 32\n"
        << "Allow 127.0.0.1\n"
        << "LogLevel Critical\n";
    if (!user.empty())
        out << "BasicAuth " << user << " " << password << "\n";
    out.close();
    m_process = std::make_unique<RunningProcess>(std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", config});
    awaitListening(m_port, "tinyproxy");
}

std::string Tinyproxy::url(const std::string& user, const std::string& password) const
{
    return "http://" + (user.empty() ? std::string() : user + ":" + password + "@") + "127.0.0.1:" + std::to_string(m_port);
}

Microsocks::Microsocks(const std::string& user, const std::string& password) : m_port(freeLoopbackPort())
{
    std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(m_port)};
    if (!user.empty())
        argv.insert(argv.end(), {"-u", user, "-P", password});
    m_process = std::make_unique<RunningProcess>(argv);
    awaitListening(m_port, "microsocks");
}

} // namespace kaldrani::testing
