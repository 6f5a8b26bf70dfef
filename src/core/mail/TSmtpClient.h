#pragma once

#include "core/mail/SmtpReply.h"
#include "core/mail/TMailMessage.h"
#include "core/net/TcpConnection.h"

#include <optional>
#include <string>
#include <vector>

namespace kaldrani::mail {

// [rfc5321] plain SMTP over one TCP connection: greeting with EHLO (HELO when refused),
// AUTH LOGIN when offered, then any number of sends. Failures raise SmtpReplyError for an
// unexpected reply, net::NetError for the socket ("Socket Error # ...", "Read timed
// out.", "Connection Closed Gracefully.") and SmtpError for the client's own state.
// Owns its socket, so it is not copyable.
class TSmtpClient {
public:
    TSmtpClient() = default;
    // Closes the socket without QUIT.
    ~TSmtpClient() = default;
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    std::string Host;
    int Port = 25;
    std::string Username;
    std::string Password;
    // Empty: the machine's host name.
    std::string HeloName;
    // [rfc5321] 4.5.3.2 allows minutes per reply; a window a user watches wants a bound
    // the user will wait for. Milliseconds for each wait (a write that the server does
    // not take counts as one).
    std::optional<int> ConnectTimeout = 20000;
    std::optional<int> ReadTimeout = 60000;

    // Opens the connection and greets the server. Raises SmtpError "Already connected."
    // when it is connected; on a failed greeting the socket is closed without QUIT.
    void Connect();

    // Signs in with AUTH LOGIN when the server offers it. Returns false, sending nothing,
    // without a user name or without LOGIN among the mechanisms; raises on a refusal.
    bool Authenticate();

    // Sends the message to its current Recipients. After a refused RCPT TO, DATA or
    // message, sends RSET before raising; the connection stays usable.
    void Send(const TMailMessage& message);

    // Sends QUIT (its reply waited for briefly, failures ignored) and closes. Never raises.
    void Disconnect();

    bool Connected() const { return m_connected; }
    bool Authenticated() const { return m_authenticated; }
    // The text lines of the last EHLO reply after the first.
    const std::vector<std::string>& Capabilities() const { return m_capabilities; }

private:
    // Writes one command line and reads its reply.
    SmtpReply command(const std::string& line);
    SmtpReply readReply();
    // command(line), raising SmtpReplyError unless the code is one of those expected.
    SmtpReply expect(const std::string& line, std::initializer_list<int> codes);
    // The socket is gone: every later step fails at once instead of waiting on it.
    void dropConnection();

    net::TcpConnection m_connection;
    bool m_connected = false;
    bool m_authenticated = false;
    std::vector<std::string> m_capabilities;
};

// A failure of the client's own state ("Already connected.", "Not connected.").
class SmtpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The mechanisms the capabilities offer: every line beginning with "AUTH" and a blank or
// "=", its rest upper-cased, "=" read as a blank, split at blanks.
std::vector<std::string> authMechanisms(const std::vector<std::string>& capabilities);

// The name EHLO and HELO give when HeloName is empty: the host name, else "localhost".
std::string localHostName();

} // namespace kaldrani::mail
