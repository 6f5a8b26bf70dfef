#pragma once

#include <stdexcept>
#include <string>

namespace kaldrani::net {

// Every failure of the network, the page fetch's and the mail client's alike. The kind says
// what happened; the message is the system's own text ("Read timed out.", "Socket Error #
// 111\r\nConnection refused.", ...), made once here and never read back to classify.
class NetError : public std::runtime_error {
public:
    enum class Kind {
        Socket,   // refused, reset, unresolvable, a connect that ran out: "Socket Error # ..."
        TimedOut, // one wait for data lasted its bound
        Closed,   // the peer closed where more was due
        Deadline, // the whole exchange outlasted its deadline
        TooLarge, // a line, a head or a body over its bound
        Protocol, // an address or an answer the client cannot use
        Status,   // a final HTTP answer that is not a success (HttpStatusError)
        Stopped,  // the run was stopped from outside (StopSignal): nobody waits for it
        Tls,      // a handshake that failed, or a certificate the client does not trust
        Proxy,    // the proxy failed or refused, before the service was reached: "proxy: ..."
    };

    NetError(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) { }
    // code: the system's error number (a name lookup's failure: its EAI_ code).
    NetError(Kind kind, const std::string& message, int code) : std::runtime_error(message), m_kind(kind), m_code(code) { }
    Kind kind() const { return m_kind; }
    // The system's error number behind a Socket failure; 0 when not known.
    int code() const { return m_code; }

    // The system's texts of the kinds that have one fixed text.
    static NetError timedOut() { return {Kind::TimedOut, "Read timed out."}; }
    static NetError closed() { return {Kind::Closed, "Connection Closed Gracefully."}; }

private:
    Kind m_kind;
    int m_code = 0;
};

} // namespace kaldrani::net
