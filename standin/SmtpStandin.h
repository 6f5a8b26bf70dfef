#pragma once

#include "core/sys/LoopbackListener.h"

#include <atomic>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A loopback SMTP service for the bulk mail demo and tests: offers AUTH LOGIN and accepts
// any user (and, given an authority, STARTTLS and a port of implicit TLS), refuses recipients in the domain refused.invalid, and writes every message it
// accepts to a folder as NNNNNN.eml (the data as sent, dot-stuffing undone) beside
// NNNNNN.env (the envelope: sender, then one recipient per line).
namespace kaldrani::standin {

class StandinAuthority;

class SmtpStandin {
public:
    // Binds 127.0.0.1:port (0: a free one), creates folder when missing and serves on
    // threads of its own. With an authority (which must outlive the service) it offers
    // STARTTLS and serves implicit TLS on tlsPort too (0: a free one). Raises
    // std::runtime_error when it cannot.
    SmtpStandin(std::filesystem::path folder, int port = 0, StandinAuthority* authority = nullptr, int tlsPort = 0);
    // Stops serving and waits for every connection to end.
    ~SmtpStandin();
    SmtpStandin(const SmtpStandin&) = delete;
    SmtpStandin& operator=(const SmtpStandin&) = delete;

    int port() const { return m_listener.port(); }
    // The implicit TLS port, 0 without an authority.
    int tlsPort() const { return m_tlsListener ? m_tlsListener->port() : 0; }
    const std::filesystem::path& folder() const { return m_folder; }
    // Messages written since start.
    int messagesWritten() const { return m_written.load(); }

    // Stops accepting, ends open connections and joins every thread. Safe to call twice.
    void stop();

private:
    void acceptLoop(sys::LoopbackListener& from, bool implicitTls);
    void serve(int fd, bool implicitTls);
    // Writes one message and its envelope; returns its number.
    int store(const std::string& from, const std::string& recipients, const std::string& data);

    std::filesystem::path m_folder;
    sys::LoopbackListener m_listener;
    StandinAuthority* m_authority;
    std::optional<sys::LoopbackListener> m_tlsListener;
    std::thread m_tlsAcceptThread;
    std::atomic<int> m_written{0};
    std::mutex m_mutex;
    int m_next = 1;
    std::list<std::thread> m_connections;
    std::thread m_acceptThread;
    bool m_stopped = false;
};

} // namespace kaldrani::standin
