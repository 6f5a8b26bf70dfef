#pragma once

#include "core/sys/LoopbackListener.h"
#include "core/sys/UniqueFd.h"

#include <vector>

// A loopback port whose connects never complete: it listens, but its accept queue is
// full, so the system drops every further SYN. Stands in for an unreachable host without
// leaving the machine.
namespace kaldrani::testing {

class SilentHost {
public:
    // Raises std::runtime_error when the port cannot listen or its queue cannot be filled.
    SilentHost();
    SilentHost(const SilentHost&) = delete;
    SilentHost& operator=(const SilentHost&) = delete;

    int port() const { return m_listener.port(); }

private:
    sys::LoopbackListener m_listener;
    std::vector<sys::UniqueFd> m_fillers;
};

} // namespace kaldrani::testing
