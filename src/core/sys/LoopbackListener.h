#pragma once

#include "core/sys/UniqueFd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kaldrani::sys {

// A listening socket on 127.0.0.1 with a wake pipe beside it, for the loopback servers of
// the tests and the stand-in. The accept loop and every wait of the connections it serves
// watch the pipe too, so one wake() ends them all, however they are blocked.
class LoopbackListener {
public:
    struct Options {
        int port = 0;              // 0: a free port the system picks
        int backlog = 16;          // 0 fills up at the first pending connection
        bool reuseAddress = false; // rebinding a fixed port while old connections linger
    };

    // Binds and listens. Raises std::runtime_error("cannot listen on 127.0.0.1:PORT: why")
    // when the port is out of range or the socket, bind, listen or the pipe fails.
    explicit LoopbackListener(Options options) { open(options); }
    LoopbackListener() : LoopbackListener(Options{}) { }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // The port actually bound.
    int port() const noexcept { return m_port; }
    // The listening socket (non-blocking), still owned.
    int fd() const noexcept { return m_fd.get(); }
    // The read end of the wake pipe; readable for good once wake() was called.
    int wakeFd() const noexcept { return m_wake.read.get(); }

    // Waits until fd is readable or hung up: true. False once woken or when poll fails.
    bool waitReadable(int fd) const noexcept
    {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd(), POLLIN, 0}};
        for (;;) {
            const int r = ::poll(p, 2, -1);
            if (r < 0 && errno == EINTR)
                continue;
            return r > 0 && p[1].revents == 0;
        }
    }

    // Waits for the next connection and returns it, blocking and close-on-exec; empty once
    // woken. A failed accept is retried, after a 10 ms pause when out of descriptors so
    // that the loop does not spin while open connections end.
    UniqueFd accept() const noexcept
    {
        while (waitReadable(m_fd.get())) {
            UniqueFd connection(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection)
                return connection;
            if (errno == EMFILE || errno == ENFILE)
                ::poll(nullptr, 0, 10);
        }
        return UniqueFd();
    }

    // Ends the accept loop and every wait on the pipe, now and from now on.
    void wake() const noexcept
    {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(m_wake.write.get(), &byte, 1);
    }

private:
    void open(const Options& options)
    {
        const auto fail = [&](const char* why) {
            throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options.port) + ": " + why);
        };
        if (options.port < 0 || options.port > 65535)
            fail("no such port");
        m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!m_fd)
            fail(std::strerror(errno));
        if (options.reuseAddress) {
            const int on = 1;
            ::setsockopt(m_fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(options.port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_fd.get(), options.backlog) != 0
            || ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0
            || !makePipe(m_wake, O_CLOEXEC))
            fail(std::strerror(errno));
        m_port = ntohs(address.sin_port);
    }

    UniqueFd m_fd;
    UniquePipe m_wake;
    int m_port = 0;
};

} // namespace kaldrani::sys
