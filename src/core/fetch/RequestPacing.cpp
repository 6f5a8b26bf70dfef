#include "core/fetch/RequestPacing.h"

#include "core/net/HttpAddress.h"

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

} // namespace kaldrani::fetch
