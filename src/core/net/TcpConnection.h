#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/NetError.h"
#include "core/sys/UniqueFd.h"

typedef struct ssl_st SSL;

namespace kaldrani::net {

// One TCP connection (the page fetch's, the mail client's) with a read buffer: POSIX
// sockets, every wait a poll, writes without SIGPIPE. Failures raise NetError with the
// system's texts; a failure of the socket itself has kind Socket.
// Owns its socket, so it is not copyable.
class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects to host:port, where the connect-to rules send it; a name that is not an
    // IPv4 literal is resolved to IPv4. Without timeoutMs the system's own connect limit
    // applies. Raises NetError "Socket Error # %d\r\n%s" ("Host not found." when the
    // name does not resolve, ETIMEDOUT's text when timeoutMs ran out).
    void open(const std::string& host, int port, std::optional<int> timeoutMs = std::nullopt);
    // Closes the socket, if any, and forgets what was buffered.
    void close();

    // Turns the open connection into a TLS one for host (the name the address gave, never
    // where the connect-to rules sent it): SNI and the certificate's name check use it,
    // the certificate is verified against the trust anchors. Each wait of the handshake is
    // bounded by timeoutMs and the deadline. Raises NetError of kind Tls with the reason
    // ("TLS: certificate has expired", ...), or as a read or a deadline would.
    void startTls(const std::string& host, std::optional<int> timeoutMs);
    // The connection speaks TLS.
    bool isTls() const { return m_tls != nullptr; }

    // A socket is held and the peer has not been seen to close it.
    bool isOpen() const { return m_fd && !m_eof; }
    // Looks, without waiting, whether the peer closed an idle connection.
    bool peerClosed();
    // The socket is connected to this machine's loopback address (127.0.0.0/8, ::1),
    // wherever the connect-to rules sent it.
    bool peerIsLoopback() const;

    // A moment after which every wait, connect and read raises NetError
    // kDeadlineMessage, whatever the peer does; unset: no such moment.
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;
    void setDeadline(Deadline deadline) { m_deadline = deadline; }
    // Raises NetError kDeadlineMessage when the deadline has passed.
    void checkDeadline() const;
    static constexpr const char* kDeadlineMessage = "Fetch deadline exceeded.";

    // Writes all bytes. Raises NetError on a socket error, and as the system's own
    // time-out when the peer takes nothing for timeoutMs (unset: no bound).
    void sendAll(std::string_view bytes, std::optional<int> timeoutMs = std::nullopt);

    enum class LineResult { Line, TimedOut, Closed };
    // Reads one line up to a line feed, without it and without a carriage return before
    // it. Closed: the peer closed before any byte of it (a partial last line is a Line).
    // TimedOut: one wait lasted timeoutMs (nothing is consumed). Raises NetError
    // "Max line length exceeded." for a line over maxLength bytes.
    LineResult readLine(std::string& line, std::optional<int> timeoutMs, size_t maxLength);

    // Waits up to timeoutMs for data (or the peer's close). False when none came.
    bool waitReadable(int timeoutMs);

    // Reads n bytes, appended to out (dropped when out is null); fewer when the peer closes
    // first. Returns how many were read. Raises NetError "Read timed out." when one
    // wait lasts timeoutMs.
    size_t readExact(std::string* out, size_t n, std::optional<int> timeoutMs);

    // Reads until the peer closes. Returns how many bytes were read. Raises NetError
    // "Read timed out." as readExact, or tooLargeMessage once more than limit bytes came.
    size_t readToEnd(std::string* out, size_t limit, std::optional<int> timeoutMs, const char* tooLargeMessage);

private:
    enum class Fill { Data, TimedOut, Eof };
    // Reads what the socket holds into the buffer, waiting up to timeoutMs for it.
    Fill fill(std::optional<int> timeoutMs);
    // Waits for events on fd up to timeoutMs (unset: indefinitely), but never past the
    // deadline. Returns false on time-out.
    bool waitFor(int fd, short events, std::optional<int> timeoutMs);
    size_t buffered() const { return m_end - m_start; }
    const char* data() const { return m_buffer.get() + m_start; }
    void consume(size_t n);

    // Reads into buffer what the TLS session holds; a wait for the peer as fill's.
    Fill fillTls(std::optional<int> timeoutMs);

    struct TlsFree {
        void operator()(SSL* ssl) const;
    };
    std::unique_ptr<SSL, TlsFree> m_tls;
    sys::UniqueFd m_fd;
    bool m_eof = false;
    Deadline m_deadline;
    // Received bytes not yet taken are m_buffer[m_start, m_end); allocated once, never
    // cleared, so a read costs one copy and no fill.
    std::unique_ptr<char[]> m_buffer;
    size_t m_start = 0;
    size_t m_end = 0;
};

// For tests and fuzzing: every TcpConnection::open takes its socket from opener instead
// of the network. It returns a connected stream socket (made non-blocking here), or -1
// for a refused connection. An empty opener restores the network.
using SocketOpener = std::function<int(const std::string& host, int port)>;
void setSocketOpener(SocketOpener opener);

// "Socket Error # code\r\ntext", the text ending with a full stop.
std::string socketErrorMessage(int code, std::string text);

} // namespace kaldrani::net
