#pragma once

#include "core/sys/UniqueFd.h"

#include <vector>

// A loopback port whose connects never complete: it listens, but its accept queue is
// full, so the system drops every further SYN. Stands in for an unreachable host without
// leaving the machine.
namespace kaldrani::testing {

class SilentHost {
public:
    // Raises std::runtime_error when the queue cannot be filled.
    SilentHost();
    SilentHost(const SilentHost&) = delete;
    SilentHost& operator=(const SilentHost&) = delete;

    int port() const { return m_port; }

private:
    sys::UniqueFd m_listenFd;
    std::vector<sys::UniqueFd> m_fillers;
    int m_port = 0;
};

} // namespace kaldrani::testing
