#pragma once

#include "core/mail/SmtpReply.h"
#include "core/mail/TMailMessage.h"
#include "core/net/TcpConnection.h"

#include <optional>
#include <string>
#include <vector>

namespace kaldrani::mail {

// [rfc5321] SMTP over one TCP connection: greeting with EHLO (HELO when refused), TLS as
// Tls says, AUTH LOGIN (or PLAIN) when offered, then any number of sends. Failures raise SmtpReplyError for an
// unexpected reply, net::NetError for the socket ("Socket Error # ...", "Read timed
// out.", "Connection Closed Gracefully.", a reply over its bounds, a deadline) and
// SmtpError for the client's own state or an address it will not send.
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

    // [rfc8314] How the connection is encrypted. Auto: implicit TLS on port 465, otherwise
    // STARTTLS when the server offers it, required on 587. StartTls: STARTTLS required.
    // Implicit: TLS from the first byte. None: never, and a password may go in clear text.
    enum class TlsMode { Auto, StartTls, Implicit, None };
    TlsMode Tls = TlsMode::Auto;
    std::string Username;
    std::string Password;
    // Empty: the machine's host name.
    std::string HeloName;
    // [rfc5321] 4.5.3.2 allows minutes per reply; a window a user watches wants a bound
    // the user will wait for. Milliseconds for each wait (a write that the server does
    // not take counts as one).
    std::optional<int> ConnectTimeout = 20000;
    std::optional<int> ReadTimeout = 60000;
    // A server dripping a byte just inside each wait would otherwise hold a reply for
    // ever: milliseconds from writing a command (or from connecting, for the greeting)
    // to the end of its reply. Unset: no bound.
    std::optional<int> ReplyDeadline = 120000;
    // Milliseconds for one message's data and the reply to its end: this base plus one
    // second for every TransferRate bytes of the message. Unset: no bound.
    std::optional<int> TransferDeadline = 120000;
    int TransferRate = 16384;

    // The states a connection goes through; the capabilities belong to the greeted server.
    enum class State { Closed, Greeted, SignedIn };

    // Opens the connection, greets the server and encrypts as Tls says (after STARTTLS the
    // server is greeted again and what it offered before is forgotten). Raises SmtpError
    // "Already connected." when it is connected, EncryptionUnavailable when TLS is
    // required and not offered, NetError of kind Tls when the handshake fails. A refused
    // greeting, HELO or STARTTLS is followed by QUIT, a 421 by nothing; either way the
    // client is closed and the failure passed on.
    void Connect();

    // Signs in with AUTH LOGIN when the server offers it, else AUTH PLAIN when offered.
    // Returns false, sending nothing, without a user name or without either mechanism.
    // Raises EncryptionUnavailable, sending nothing, when the connection is not encrypted,
    // Tls is not None and Host is not a loopback name (passwordMayGoInClear); raises on a
    // refusal.
    bool Authenticate();

    // Sends the message to its current Recipients. Raises SmtpError before sending
    // anything when an address cannot go into a command (addressProblem). After a
    // refused RCPT TO, DATA or message, sends RSET before raising; the connection stays
    // usable. After a 421 the session is over: this and every later send raise that
    // reply at once, until Connect.
    void Send(const TMailMessage& message);

    // Sends QUIT (its reply waited for briefly, failures ignored) and closes. Never raises.
    void Disconnect();

    State state() const { return m_state; }
    bool Connected() const { return m_state != State::Closed; }
    bool Authenticated() const { return m_state == State::SignedIn; }
    // The connection is encrypted.
    bool Encrypted() const { return m_connection.isTls(); }
    // The text lines of the greeted server's EHLO reply after the first; none when closed.
    const std::vector<std::string>& Capabilities() const { return m_capabilities; }
    // The greeted server offers the keyword (ignoring case) as a capability.
    bool offers(std::string_view keyword) const;

    // Why the address cannot go into MAIL FROM or RCPT TO on this connection: empty when
    // it can. A control byte (NUL, a line break, ESC...), "<" or ">" never can; text that is not ASCII only
    // when the server offers SMTPUTF8; a command over 512 octets never.
    std::string addressProblem(const std::string& address) const;

private:
    // Writes one command line and reads its reply, within ReplyDeadline. A 421 ends
    // the session. waitMs overrides ReadTimeout for this command.
    SmtpReply command(const std::string& line, std::optional<int> waitMs);
    SmtpReply command(const std::string& line) { return command(line, ReadTimeout); }
    // Reads one reply within the bounds of its lines and bytes.
    SmtpReply readReply(std::optional<int> waitMs);
    // command(line), raising SmtpReplyError unless the code is one of those expected.
    SmtpReply expect(const std::string& line, std::initializer_list<int> codes);
    // Writes the message data and its end, then reads the reply.
    SmtpReply transfer(const TMailMessage& message);
    // A 421 reply ends the session: the socket is closed and the reply kept for later sends.
    void checkClosing(const SmtpReply& reply);
    // Courtesy after a refusal during the greeting: QUIT, briefly, then closed.
    void quitAndClose();
    // The socket is gone: every later step fails at once instead of waiting on it.
    void dropConnection();
    // STARTTLS, the handshake and the second EHLO, as Tls and Port ask.
    void encryptIfAsked(const std::string& heloName);
    // EHLO (HELO when refused); the capabilities the reply lists.
    std::vector<std::string> greet(const std::string& heloName);
    // A deadline from now, or none.
    static net::TcpConnection::Deadline deadlineIn(std::optional<long long> ms);

    net::TcpConnection m_connection;
    State m_state = State::Closed;
    std::vector<std::string> m_capabilities;
    // The server's 421, once it closed the session.
    std::optional<SmtpReply> m_closedBy;
};

// A failure of the client's own state ("Already connected.", "Not connected.") or an
// address it refuses to send ("Invalid address: ...").
class SmtpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// TLS was required, or a password was due, and the server offers no encryption. Nothing
// more was sent: in particular no password.
class EncryptionUnavailable : public SmtpError {
public:
    using SmtpError::SmtpError;
};

// The text of EncryptionUnavailable before a sign-in.
inline constexpr const char* kPasswordNotSentMessage = "服务器不支持加密连接，密码未发送";
// Its text when TLS was required before any sign-in was due.
inline constexpr const char* kNoEncryptionMessage = "服务器不支持加密连接";

// A password may cross an unencrypted connection only to the machine itself: host, as the
// user typed it, is "localhost" or a loopback address (127.0.0.0/8, ::1).
bool passwordMayGoInClear(const std::string& host);

// A server as typed: "host" or "host:port", blanks around it ignored. Port is defaultPort
// when none is given. Raises SmtpError "Invalid server: ..." for an empty
// host or a port that is not 1 to 65535.
struct SmtpServerName {
    std::string host;
    int port = 25;
};
SmtpServerName parseServerName(const std::string& text, int defaultPort = 25);

// The mechanisms the capabilities offer: every line beginning with "AUTH" and a blank or
// "=", its rest upper-cased, "=" read as a blank, split at blanks.
std::vector<std::string> authMechanisms(const std::vector<std::string>& capabilities);

// The name EHLO and HELO give when HeloName is empty: the host name, else "localhost".
std::string localHostName();

// [rfc5321] 4.5.3.1.4: the longest command line, CR LF included.
inline constexpr size_t kMaxCommandLine = 512;
// Bounds of one reply; a real one has a few dozen lines.
inline constexpr size_t kMaxReplyLines = 256;
inline constexpr size_t kMaxReplyBytes = 64 * 1024;

} // namespace kaldrani::mail
