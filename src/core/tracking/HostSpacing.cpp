#include "core/tracking/HostSpacing.h"

#include <algorithm>

namespace kaldrani::tracking {

HostSpacing::HostSpacing(std::chrono::milliseconds delay, std::chrono::milliseconds maxDelay)
    : m_delay(std::max(delay, std::chrono::milliseconds(0))), m_maxDelay(std::max(maxDelay, m_delay))
{
}

void HostSpacing::beforeRequest(const std::string& host)
{
    std::unique_lock lock(m_mutex);
    Host& h = m_hosts[host];
    if (!h.asked && !h.busy)
        h.delay = m_delay;
    for (;;) {
        if (!h.busy) {
            if (!h.asked)
                break;
            const auto due = h.lastEnd + h.delay;
            if (std::chrono::steady_clock::now() >= due)
                break;
            m_changed.wait_until(lock, due);
        } else {
            m_changed.wait(lock);
        }
    }
    h.busy = true;
}

void HostSpacing::afterRequest(const std::string& host, bool refused)
{
    {
        const std::lock_guard lock(m_mutex);
        Host& h = m_hosts[host];
        h.busy = false;
        h.asked = true;
        h.lastEnd = std::chrono::steady_clock::now();
        if (refused)
            h.delay = std::min(std::max(h.delay * 2, std::chrono::milliseconds(1)), m_maxDelay);
        else
            h.delay = m_delay;
    }
    m_changed.notify_all();
}

std::chrono::milliseconds HostSpacing::delayOf(const std::string& host) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_hosts.find(host);
    return it == m_hosts.end() || !it->second.asked ? m_delay : it->second.delay;
}

} // namespace kaldrani::tracking
