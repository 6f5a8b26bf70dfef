#pragma once

#include "core/sys/LoopbackListener.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback SMTP peer for tests that a real server will not play on demand: it greets,
// then answers each command line with what the handler says. After a reply starting
// with "354" it takes message data up to the line "." and hands the handler "." for it.
// One connection at a time, on a thread of its own.
namespace kaldrani::testing {

struct SmtpStep {
    enum class Then {
        Continue, // read the next command
        Close,    // close the connection after the reply
        Stall,    // say nothing more; hold the connection until the client goes away
        Deaf,     // read nothing more either, until the server stops
        Drip,     // then send the reply again and again, one byte every 20 ms, until the client goes
    };
    std::string reply; // written as given (CR LF included); may be empty
    Then then = Then::Continue;
};

class ScriptedSmtpServer {
public:
    // Decides the answer to each command line (without CR LF).
    using Handler = std::function<SmtpStep(const std::string& command)>;

    // greeting is written on every new connection (empty: none, the connection stalls).
    ScriptedSmtpServer(std::string greeting, Handler handler);
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    int port() const { return m_listener.port(); }
    // The command lines received, in order, "." for each end of message data.
    std::vector<std::string> commands() const;
    // Each message's data as received, up to but without the line ".".
    std::vector<std::string> messages() const;
    int connections() const;

private:
    void serve();
    void serveConnection(int fd);
    bool readLine(int fd, std::string& line);

    std::string m_greeting;
    Handler m_handler;
    sys::LoopbackListener m_listener;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::vector<std::string> m_messages;
    int m_connections = 0;
    std::string m_pending;
    std::thread m_thread;
};

// The reply a well-behaved server gives to the usual commands, offering ehloCapabilities
// (lines without the code, e.g. "AUTH LOGIN PLAIN") in its EHLO reply.
SmtpStep standardSmtpReply(const std::string& command, const std::vector<std::string>& ehloCapabilities);

} // namespace kaldrani::testing
