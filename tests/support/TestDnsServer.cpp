#include "TestDnsServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kaldrani::testing {

namespace {

constexpr int kTypeA = 1;
constexpr int kTypeAaaa = 28;

int u16(const std::string& s, size_t at)
{
    return (static_cast<unsigned char>(s[at]) << 8) | static_cast<unsigned char>(s[at + 1]);
}

void put16(std::string& s, int v)
{
    s += static_cast<char>((v >> 8) & 0xff);
    s += static_cast<char>(v & 0xff);
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

TestDnsServer::TestDnsServer(std::map<std::string, std::vector<std::string>> names, std::set<std::string> silent)
    : m_names(std::move(names))
    , m_silent(std::move(silent))
    , m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!m_socket || ::bind(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test name server: cannot bind");
    m_port = ntohs(address.sin_port);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("test name server: no pipe");
    m_stopRead = sys::UniqueFd(pipe[0]);
    m_stopWrite = sys::UniqueFd(pipe[1]);
    m_thread = std::thread([this] { serve(); });
}

TestDnsServer::~TestDnsServer()
{
    const char c = 0;
    (void)!::write(m_stopWrite.get(), &c, 1);
    m_thread.join();
}

void TestDnsServer::serve()
{
    for (;;) {
        pollfd waits[2] = {{m_socket.get(), POLLIN, 0}, {m_stopRead.get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0)
            continue;
        if (waits[1].revents != 0)
            return;
        char buffer[1500];
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_socket.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0)
            continue;
        ++m_questions;
        const std::string reply = answer(std::string(buffer, static_cast<size_t>(n)));
        if (!reply.empty())
            ::sendto(m_socket.get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

std::string TestDnsServer::answer(const std::string& query)
{
    if (query.size() < 12 || u16(query, 4) != 1)
        return {};
    std::string name;
    size_t at = 12;
    while (at < query.size() && query[at] != 0) {
        const size_t label = static_cast<unsigned char>(query[at]);
        if (label > 63 || at + 1 + label > query.size())
            return {};
        if (!name.empty())
            name += '.';
        name.append(query, at + 1, label);
        at += 1 + label;
    }
    if (at + 5 > query.size())
        return {};
    const size_t questionEnd = at + 5;
    const int type = u16(query, at + 1);
    name = lower(name);
    if (m_silent.contains(name))
        return {};

    std::vector<std::string> records;
    const auto found = m_names.find(name);
    if (found != m_names.end()) {
        for (const std::string& text : found->second) {
            unsigned char bytes[16];
            if (type == kTypeA && ::inet_pton(AF_INET, text.c_str(), bytes) == 1)
                records.emplace_back(reinterpret_cast<char*>(bytes), 4);
            else if (type == kTypeAaaa && ::inet_pton(AF_INET6, text.c_str(), bytes) == 1)
                records.emplace_back(reinterpret_cast<char*>(bytes), 16);
        }
    }
    std::string reply = query.substr(0, 2);
    put16(reply, found == m_names.end() ? 0x8183 : 0x8180); // an answer; NXDOMAIN when unknown
    put16(reply, 1);
    put16(reply, static_cast<int>(records.size()));
    put16(reply, 0);
    put16(reply, 0);
    reply += query.substr(12, questionEnd - 12);
    for (const std::string& data : records) {
        put16(reply, 0xc00c); // the question's name
        put16(reply, type);
        put16(reply, 1);
        put16(reply, 0);
        put16(reply, 60);
        put16(reply, static_cast<int>(data.size()));
        reply += data;
    }
    return reply;
}

} // namespace kaldrani::testing
