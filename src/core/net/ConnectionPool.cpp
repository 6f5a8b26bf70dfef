#include "core/net/ConnectionPool.h"

#include "core/net/StopSignal.h"

#include <utility>

namespace kaldrani::net {

namespace {

thread_local ConnectionPool* t_pool = nullptr;

} // namespace

std::optional<TcpConnection> ConnectionPool::take(const std::string& route)
{
    const StopSignal* stop = currentStopSignal();
    const auto now = std::chrono::steady_clock::now();
    std::list<Idle> dropped;
    std::optional<TcpConnection> found;
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_idle.begin(); it != m_idle.end();) {
            if (now - it->since >= m_limits.maxIdleTime) {
                const auto stale = it++;
                dropped.splice(dropped.end(), m_idle, stale);
            } else {
                ++it;
            }
        }
        while (!found) {
            auto newest = m_idle.end();
            for (auto it = m_idle.begin(); it != m_idle.end(); ++it)
                if (it->route == route && it->stop == stop)
                    newest = it;
            if (newest == m_idle.end())
                break;
            dropped.splice(dropped.end(), m_idle, newest);
            if (dropped.back().connection.idleAndClean()) {
                found.emplace(std::move(dropped.back().connection));
                ++m_reuses;
            }
        }
    }
    // The sockets close outside the lock.
    return found;
}

void ConnectionPool::give(const std::string& route, TcpConnection connection)
{
    if (m_limits.maxIdle == 0)
        return;
    std::list<Idle> dropped;
    const std::lock_guard lock(m_mutex);
    while (m_idle.size() >= m_limits.maxIdle)
        dropped.splice(dropped.end(), m_idle, m_idle.begin());
    m_idle.push_back({route, currentStopSignal(), std::chrono::steady_clock::now(), std::move(connection)});
}

std::size_t ConnectionPool::idleCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_idle.size();
}

std::size_t ConnectionPool::reuses() const
{
    const std::lock_guard lock(m_mutex);
    return m_reuses;
}

PoolScope::PoolScope(ConnectionPool& pool) : m_previous(t_pool)
{
    t_pool = &pool;
}

PoolScope::~PoolScope()
{
    t_pool = m_previous;
}

ConnectionPool* currentConnectionPool()
{
    return t_pool;
}

RunConnections::RunConnections()
{
    if (t_pool != nullptr)
        return;
    m_own.emplace();
    m_scope.emplace(*m_own);
}

RunConnections::~RunConnections()
{
    m_scope.reset();
    m_own.reset();
}

} // namespace kaldrani::net
