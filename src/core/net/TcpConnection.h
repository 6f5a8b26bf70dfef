#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/NetError.h"
#include "core/net/Resolver.h"
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
    // Takes other's socket, session and buffered bytes; other is left closed.
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;

    // Connects to host:port, where the connect-to rules send it. A name is looked up for
    // both families (Resolver.h) and its addresses tried as RFC 8305 says, the first to
    // connect kept. timeoutMs bounds each attempt (unset: the system's own limit); the
    // deadline bounds the lookup and all attempts. Raises NetError "Socket Error #
    // %d\r\n%s" ("Host not found." when the name does not resolve, the last attempt's
    // error when none connected, ETIMEDOUT's text when its timeoutMs ran out).
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
    // The TLS session once startTls succeeded (the peer's certificate can be read from it).
    SSL* tlsSession() const { return m_tls.get(); }
    // Its handshake resumed a session an earlier connection to the same host and port
    // received (TlsSessions.h).
    bool tlsResumed() const;

    // A socket is held and the peer has not been seen to close it.
    bool isOpen() const { return m_fd && !m_eof; }
    // Looks, without waiting, whether the peer closed an idle connection.
    bool peerClosed();
    // Looks, without waiting, whether the connection may carry another request: open, the
    // peer not seen to close, and no byte received that no answer claimed (those would be
    // read as the next answer's head).
    bool idleAndClean();
    // How many bytes came from the peer since open (after TLS, the plain text).
    std::uint64_t bytesReceived() const { return m_received; }
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
    sys::UniqueFd connectFirst(const std::vector<SocketAddress>& addresses, std::optional<int> timeoutMs);
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
    int m_port = 0;
    std::uint64_t m_received = 0;
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
