#pragma once

#include "core/net/TcpConnection.h"
#include "core/text/Encoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// What every fuzz target shares: a check that stops the run loudly (libFuzzer and the
// replay tests both report an abort as a finding), and a fake network.
#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                            \
        }                                                                                            \
    } while (0)

namespace kaldrani::fuzz {

inline std::string_view asText(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Cuts the input at each separator; a target that needs several texts takes them so.
inline std::vector<std::string_view> splitInput(std::string_view input, std::string_view separator)
{
    std::vector<std::string_view> parts;
    for (size_t pos = 0;;) {
        const size_t at = input.find(separator, pos);
        parts.push_back(input.substr(pos, at == std::string_view::npos ? std::string_view::npos : at - pos));
        if (at == std::string_view::npos)
            return parts;
        pos = at + separator.size();
    }
}

// Every connection the fetch opens gets the next answer's bytes, already sent and then
// closed by the "server": no waits, no real network. More connections than answers are
// refused.
class FakeServer {
public:
    explicit FakeServer(std::vector<std::string_view> answers) : m_answers(std::move(answers))
    {
        net::setSocketOpener([this](const std::string&, int) { return open(); });
    }
    ~FakeServer()
    {
        net::setSocketOpener({});
        for (const int fd : m_peers)
            ::close(fd);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // What the client wrote on its index-th connection so far, without waiting.
    std::string received(size_t index) const
    {
        std::string bytes;
        if (index >= m_peers.size())
            return bytes;
        char chunk[65536];
        ssize_t n;
        while ((n = ::recv(m_peers[index], chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            bytes.append(chunk, static_cast<size_t>(n));
        return bytes;
    }

    size_t totalBytes() const
    {
        size_t n = 0;
        for (const auto a : m_answers)
            n += a.size();
        return n;
    }

private:
    int open()
    {
        if (m_next >= m_answers.size())
            return -1;
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return -1;
        // Room for the whole answer and every request the fetch may send back.
        const int room = 4 << 20;
        ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        ::setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
        ::setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        const std::string_view answer = m_answers[m_next++];
        size_t sent = 0;
        while (sent < answer.size()) {
            const ssize_t n = ::send(pair[1], answer.data() + sent, answer.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        ::shutdown(pair[1], SHUT_WR);
        m_peers.push_back(pair[1]);
        return pair[0];
    }

    std::vector<std::string_view> m_answers;
    size_t m_next = 0;
    std::vector<int> m_peers;
};

} // namespace kaldrani::fuzz
