#pragma once

#include "core/fetch/RequestPacing.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace kaldrani::tracking {

// One request at a time per host, each starting at least `delay` after the previous one to
// that host ended; after a refusal (429, 503) the delay doubles, up to `maxDelay`, and a
// good answer brings it back. Different hosts do not wait for each other.
class HostSpacing : public fetch::RequestPacer {
public:
    HostSpacing(std::chrono::milliseconds delay, std::chrono::milliseconds maxDelay);

    void beforeRequest(const std::string& host) override;
    void afterRequest(const std::string& host, bool refused) override;

    // The delay the host's next request waits for (the base delay for a host not yet asked).
    std::chrono::milliseconds delayOf(const std::string& host) const;

private:
    struct Host {
        bool busy = false;
        bool asked = false;
        std::chrono::steady_clock::time_point lastEnd{};
        std::chrono::milliseconds delay{};
    };

    std::chrono::milliseconds m_delay;
    std::chrono::milliseconds m_maxDelay;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Host> m_hosts;
};

} // namespace kaldrani::tracking
