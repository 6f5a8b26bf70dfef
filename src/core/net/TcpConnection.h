#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/HttpClient.h"
#include "core/sys/UniqueFd.h"

namespace kaldrani::net {

// A failure of the socket itself (refused, reset, unresolvable): "Socket Error # ...".
class SocketError : public FetchError {
public:
    using FetchError::FetchError;
};

// One TCP connection of the page fetch with a read buffer: POSIX sockets, every wait a
// poll, writes without SIGPIPE. Failures raise FetchError with the system's texts.
// Owns its socket, so it is not copyable.
class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects to host:port, where the connect-to rules send it; a name that is not an
    // IPv4 literal is resolved to IPv4. No time-out of its own. Raises FetchError
    // "Socket Error # %d\r\n%s" ("Host not found." when the name does not resolve).
    void open(const std::string& host, int port);
    // Closes the socket, if any, and forgets what was buffered.
    void close();

    // A socket is held and the peer has not been seen to close it.
    bool isOpen() const { return m_fd && !m_eof; }
    // Looks, without waiting, whether the peer closed an idle connection.
    bool peerClosed();

    // Writes all bytes. Raises FetchError on a socket error.
    void sendAll(std::string_view bytes);

    enum class LineResult { Line, TimedOut, Closed };
    // Reads one line up to a line feed, without it and without a carriage return before
    // it. Closed: the peer closed before any byte of it (a partial last line is a Line).
    // TimedOut: one wait lasted timeoutMs (nothing is consumed). Raises FetchError
    // "Max line length exceeded." for a line over maxLength bytes.
    LineResult readLine(std::string& line, std::optional<int> timeoutMs, size_t maxLength);

    // Waits up to timeoutMs for data (or the peer's close). False when none came.
    bool waitReadable(int timeoutMs);

    // Reads n bytes, appended to out (dropped when out is null); fewer when the peer closes
    // first. Returns how many were read. Raises FetchError "Read timed out." when one
    // wait lasts timeoutMs.
    size_t readExact(std::string* out, size_t n, std::optional<int> timeoutMs);

    // Reads until the peer closes. Returns how many bytes were read. Raises FetchError
    // "Read timed out." as readExact, or tooLargeMessage once more than limit bytes came.
    size_t readToEnd(std::string* out, size_t limit, std::optional<int> timeoutMs, const char* tooLargeMessage);

private:
    enum class Fill { Data, TimedOut, Eof };
    // Reads what the socket holds into the buffer, waiting up to timeoutMs for it.
    Fill fill(std::optional<int> timeoutMs);
    size_t buffered() const { return m_end - m_start; }
    const char* data() const { return m_buffer.get() + m_start; }
    void consume(size_t n);

    sys::UniqueFd m_fd;
    bool m_eof = false;
    // Received bytes not yet taken are m_buffer[m_start, m_end); allocated once, never
    // cleared, so a read costs one copy and no fill.
    std::unique_ptr<char[]> m_buffer;
    size_t m_start = 0;
    size_t m_end = 0;
};

// "Socket Error # code\r\ntext", the text ending with a full stop.
std::string socketErrorMessage(int code, std::string text);

} // namespace kaldrani::net
