#pragma once

#include "core/net/TcpConnection.h"

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>

namespace kaldrani::net {

class StopSignal;

// The idle connections of one run (an overview, a keyword scan, a track), so that the
// next request to the same server skips the connect and the handshake. Each is filed
// under its route (scheme, host, port and proxy with its credentials, as the fetch names
// it) and under the stop signal bound when it was given back: a connection never serves
// another route or another run's signal. Safe to share between the run's threads; every
// connection still idle is closed when the pool goes.
class ConnectionPool {
public:
    struct Limits {
        // Connections kept at once; the one idle longest goes first.
        std::size_t maxIdle = 16;
        // A connection idle longer is closed rather than reused.
        std::chrono::milliseconds maxIdleTime{60000};
    };

    ConnectionPool() = default;
    explicit ConnectionPool(Limits limits) : m_limits(limits) { }
    ~ConnectionPool() = default;
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // An idle connection for route kept under the calling thread's stop signal, the newest
    // first, that has not idled past the limit and that the peer has not closed or written
    // to; nothing when none. Never waits.
    std::optional<TcpConnection> take(const std::string& route);
    // Keeps connection for route until taken, closing the oldest when full.
    void give(const std::string& route, TcpConnection connection);
    // How many connections are kept.
    std::size_t idleCount() const;
    // How many times take handed out a connection.
    std::size_t reuses() const;

private:
    struct Idle {
        std::string route;
        const StopSignal* stop;
        std::chrono::steady_clock::time_point since;
        TcpConnection connection;
    };
    Limits m_limits;
    mutable std::mutex m_mutex;
    std::list<Idle> m_idle; // oldest first
    std::size_t m_reuses = 0;
};

// Binds pool to the calling thread for the scope's lifetime: the fetches on it take their
// connections from the pool and give them back.
class PoolScope {
public:
    explicit PoolScope(ConnectionPool& pool);
    ~PoolScope();
    PoolScope(const PoolScope&) = delete;
    PoolScope& operator=(const PoolScope&) = delete;

private:
    ConnectionPool* m_previous;
};

// The pool bound to the calling thread, or null.
ConnectionPool* currentConnectionPool();

// The connections of one run: binds a pool of its own to the calling thread unless one is
// bound already (a run inside a longer one shares the outer run's), and closes it at the
// end of the scope.
class RunConnections {
public:
    RunConnections();
    ~RunConnections();
    RunConnections(const RunConnections&) = delete;
    RunConnections& operator=(const RunConnections&) = delete;

private:
    std::optional<ConnectionPool> m_own;
    std::optional<PoolScope> m_scope;
};

} // namespace kaldrani::net
