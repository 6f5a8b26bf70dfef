#include "SilentHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kaldrani::testing {

SilentHost::SilentHost()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 0) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        throw std::runtime_error("SilentHost: cannot listen on loopback");
    }
    m_port = ntohs(address.sin_port);

    // Connect until one does not complete: from then on the queue is full.
    for (int i = 0; i < 16; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        m_fillers.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            continue;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) == 0)
            return;
    }
    release();
    throw std::runtime_error("SilentHost: the accept queue did not fill");
}

SilentHost::~SilentHost()
{
    release();
}

void SilentHost::release()
{
    for (const int fd : m_fillers)
        ::close(fd);
    m_fillers.clear();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

} // namespace kaldrani::testing
