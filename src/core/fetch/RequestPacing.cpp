#include "core/fetch/RequestPacing.h"

#include "core/net/HttpAddress.h"
#include "core/text/Ascii.h"

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace kaldrani::fetch {

namespace {

thread_local RequestPacer* t_pacer = nullptr;

} // namespace

PacedThread::PacedThread(RequestPacer& pacer) : m_previous(t_pacer)
{
    t_pacer = &pacer;
}

PacedThread::~PacedThread()
{
    t_pacer = m_previous;
}

PacedRequest::PacedRequest(const std::string& url) : m_pacer(t_pacer)
{
    if (!m_pacer)
        return;
    try {
        m_host = net::splitAddress(url).host;
    } catch (...) {
        m_pacer = nullptr; // the fetch itself reports the bad address
        return;
    }
    m_pacer->beforeRequest(m_host);
}

PacedRequest::~PacedRequest()
{
    if (m_pacer)
        m_pacer->afterRequest(m_host, m_refused);
}

void keepHostInterval(const std::string& url, int intervalMs)
{
    if (intervalMs <= 0)
        return;
    std::string host;
    try {
        host = text::asciiLower(net::splitAddress(url).host);
    } catch (...) {
        return; // the fetch itself reports the bad address
    }
    using Clock = std::chrono::steady_clock;
    static std::mutex mutex;
    static std::map<std::string, Clock::time_point> next;
    Clock::time_point start;
    {
        const std::lock_guard lock(mutex);
        const Clock::time_point now = Clock::now();
        auto [it, fresh] = next.try_emplace(host, now);
        // Each caller takes the next free slot, so two threads never start together.
        start = fresh ? now : std::max(now, it->second);
        it->second = start + std::chrono::milliseconds(intervalMs);
    }
    std::this_thread::sleep_until(start);
}

} // namespace kaldrani::fetch
