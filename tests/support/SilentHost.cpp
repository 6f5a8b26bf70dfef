#include "SilentHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

namespace kaldrani::testing {

SilentHost::SilentHost() : m_listener({.backlog = 0})
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_listener.port()));

    // Connect until one does not complete: from then on the queue is full.
    for (int i = 0; i < 16; ++i) {
        sys::UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!filler)
            break;
        const bool connected = ::connect(filler.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        pollfd p{filler.get(), POLLOUT, 0};
        const bool pending = !connected && ::poll(&p, 1, 100) == 0;
        m_fillers.push_back(std::move(filler));
        if (pending)
            return;
    }
    throw std::runtime_error("SilentHost: the accept queue did not fill");
}

} // namespace kaldrani::testing
