#include "core/net/TcpConnection.h"

#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/Resolver.h"
#include "core/net/StopSignal.h"
#include "core/net/Tls.h"
#include "core/net/TlsSessions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace kaldrani::net {

namespace {


// Room for the longest line the fetch accepts, many times over.
constexpr size_t kBufferSize = 64 * 1024;
// Between connection attempts to a name's addresses, as RFC 8305 5 recommends.
constexpr int kAttemptDelayMs = 250;

SocketOpener& socketOpener()
{
    static SocketOpener opener;
    return opener;
}

[[noreturn]] void raiseErrno(int code)
{
    throw NetError(NetError::Kind::Socket, socketErrorMessage(code, std::strerror(code)), code);
}

} // namespace

std::string socketErrorMessage(int code, std::string text)
{
    if (!text.empty() && text.back() != '.')
        text += '.';
    return "Socket Error # " + std::to_string(code) + "\r\n" + text;
}

void TcpConnection::checkDeadline() const
{
    if (m_deadline && std::chrono::steady_clock::now() >= *m_deadline)
        throw NetError(NetError::Kind::Deadline, kDeadlineMessage);
}

bool TcpConnection::waitFor(int fd, short events, std::optional<int> timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    auto end = timeoutMs ? Clock::now() + std::chrono::milliseconds(*timeoutMs) : Clock::time_point::max();
    const bool deadlineFirst = m_deadline && *m_deadline < end;
    if (deadlineFirst)
        end = *m_deadline;
    for (;;) {
        int wait = -1;
        if (end != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
        }
        // The stop signal, when one is bound, is watched beside the socket.
        pollfd p[2] = {{fd, events, 0}, {currentStopFd(), POLLIN, 0}};
        const int r = ::poll(p, p[1].fd >= 0 ? 2 : 1, wait);
        if (r > 0 && p[1].fd >= 0 && p[1].revents != 0)
            throw NetError(NetError::Kind::Stopped, "Run stopped.");
        if (r > 0)
            return true;
        if (r == 0) {
            if (deadlineFirst)
                throw NetError(NetError::Kind::Deadline, kDeadlineMessage);
            return false;
        }
        if (errno != EINTR)
            raiseErrno(errno);
    }
}

TcpConnection::~TcpConnection()
{
    close();
}

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
{
    *this = std::move(other);
}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept
{
    if (this == &other)
        return *this;
    close();
    m_tls = std::move(other.m_tls);
    m_fd = std::move(other.m_fd);
    m_eof = other.m_eof;
    m_port = other.m_port;
    m_received = other.m_received;
    m_deadline = other.m_deadline;
    m_buffer = std::move(other.m_buffer);
    m_start = other.m_start;
    m_end = other.m_end;
    other.m_eof = false;
    other.m_received = 0;
    other.m_start = other.m_end = 0;
    return *this;
}

void TcpConnection::TlsFree::operator()(SSL* ssl) const
{
    SSL_free(ssl);
}

void TcpConnection::close()
{
    m_tls.reset();
    m_fd.reset();
    m_eof = false;
    m_received = 0;
    m_start = m_end = 0;
}

void setSocketOpener(SocketOpener opener)
{
    socketOpener() = std::move(opener);
}

void TcpConnection::open(const std::string& host, int port, std::optional<int> timeoutMs)
{
    close();
    m_port = port;
    if (socketOpener()) {
        const int fd = socketOpener()(host, port);
        if (fd < 0)
            raiseErrno(ECONNREFUSED);
        m_fd = sys::UniqueFd(fd);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return;
    }
    const ConnectTarget target = resolveConnectTarget(host, port);
    const std::vector<SocketAddress> addresses = happyEyeballsOrder(lookUpHost(target.host, target.port, m_deadline));
    m_fd = connectFirst(addresses, timeoutMs);
}

sys::UniqueFd TcpConnection::connectFirst(const std::vector<SocketAddress>& addresses, std::optional<int> timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    struct Attempt {
        sys::UniqueFd fd;
        Clock::time_point end;
    };
    std::vector<Attempt> running;
    size_t next = 0;
    int lastError = ECONNREFUSED;
    Clock::time_point nextStart = Clock::now();
    // RFC 8305 5: a new attempt every 250 ms while none has connected, at once when one
    // fails; each attempt has its own time-out, the deadline bounds them all.
    for (;;) {
        checkDeadline();
        const auto now = Clock::now();
        if (next < addresses.size() && (running.empty() || now >= nextStart)) {
            const SocketAddress& address = addresses[next++];
            sys::UniqueFd fd(::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (!fd) {
                lastError = errno;
                nextStart = now;
                continue;
            }
            if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0)
                return fd;
            if (errno != EINPROGRESS) {
                lastError = errno;
                nextStart = now;
                continue;
            }
            running.push_back({std::move(fd), timeoutMs ? now + std::chrono::milliseconds(*timeoutMs) : Clock::time_point::max()});
            nextStart = now + std::chrono::milliseconds(kAttemptDelayMs);
            continue;
        }
        if (running.empty())
            raiseErrno(lastError);

        Clock::time_point wake = Clock::time_point::max();
        for (const auto& a : running)
            wake = std::min(wake, a.end);
        if (next < addresses.size())
            wake = std::min(wake, nextStart);
        if (m_deadline)
            wake = std::min(wake, *m_deadline);
        int waitMs = -1;
        if (wake != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            waitMs = left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
        }
        std::vector<pollfd> waits;
        for (const auto& a : running)
            waits.push_back({a.fd.get(), POLLOUT, 0});
        const int stopFd = currentStopFd();
        if (stopFd >= 0)
            waits.push_back({stopFd, POLLIN, 0});
        const int r = ::poll(waits.data(), waits.size(), waitMs);
        if (r < 0 && errno != EINTR)
            raiseErrno(errno);
        if (stopFd >= 0 && waits.back().revents != 0)
            throw NetError(NetError::Kind::Stopped, "Run stopped.");
        const auto after = Clock::now();
        std::vector<Attempt> still;
        for (size_t i = 0; i < running.size(); ++i) {
            if (r > 0 && waits[i].revents != 0) {
                int code = 0;
                socklen_t length = sizeof code;
                if (::getsockopt(running[i].fd.get(), SOL_SOCKET, SO_ERROR, &code, &length) != 0)
                    code = errno;
                if (code == 0)
                    return std::move(running[i].fd);
                lastError = code;
                // The next address at once: this one has answered no.
                nextStart = after;
                continue;
            }
            if (after >= running[i].end) {
                lastError = ETIMEDOUT;
                nextStart = after;
                continue;
            }
            still.push_back(std::move(running[i]));
        }
        running = std::move(still);
    }
}

bool TcpConnection::tlsResumed() const
{
    return m_tls && SSL_session_reused(m_tls.get()) == 1;
}

void TcpConnection::startTls(const std::string& host, std::optional<int> timeoutMs)
{
    // Bytes that came before the handshake were not protected by it (RFC 3207): refuse
    // them rather than read them later as if they were.
    if (buffered() > 0)
        throw NetError(NetError::Kind::Tls, "TLS: the server sent data before the handshake");
    SSL* ssl = SSL_new(tlsClientContext());
    if (!ssl)
        throw NetError(NetError::Kind::Tls, "TLS: cannot set up the library.");
    m_tls.reset(ssl);
    if (!setSocketWithoutSignal(ssl, m_fd.get()))
        throw NetError(NetError::Kind::Tls, "TLS: cannot set up the library.");
    // Sessions are the named server's, wherever the connect-to rules sent the socket.
    offerStoredSession(ssl, host + ":" + std::to_string(m_port));
    std::string certificateNames;
    SSL_set_app_data(ssl, &certificateNames);
    in6_addr literal{};
    const bool ipLiteral = ::inet_pton(AF_INET, host.c_str(), &literal) == 1 || ::inet_pton(AF_INET6, host.c_str(), &literal) == 1;
    if (ipLiteral) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int r = SSL_connect(ssl);
        if (r == 1) {
            SSL_set_app_data(ssl, nullptr);
            return;
        }
        const int error = SSL_get_error(ssl, r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            bool ready = false;
            try {
                ready = waitFor(m_fd.get(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs);
            } catch (...) {
                m_tls.reset();
                throw;
            }
            if (!ready) {
                m_tls.reset();
                throw NetError::timedOut();
            }
            continue;
        }
        std::string why = tlsFailureText(ssl, host, error);
        m_tls.reset();
        throw NetError(NetError::Kind::Tls, why);
    }
}

TcpConnection::Fill TcpConnection::fillTls(std::optional<int> timeoutMs)
{
    for (;;) {
        ERR_clear_error();
        size_t got = 0;
        const int r = SSL_read_ex(m_tls.get(), m_buffer.get() + m_end, kBufferSize - m_end, &got);
        if (r == 1) {
            m_end += got;
            m_received += got;
            return Fill::Data;
        }
        const int error = SSL_get_error(m_tls.get(), r);
        if (error == SSL_ERROR_ZERO_RETURN) {
            m_eof = true;
            return Fill::Eof;
        }
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(m_fd.get(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs))
                return Fill::TimedOut;
            continue;
        }
        if (error == SSL_ERROR_SYSCALL && errno != 0)
            raiseErrno(errno);
        const unsigned long queued = ERR_peek_last_error();
        ERR_clear_error();
        const char* reason = queued != 0 ? ERR_reason_error_string(queued) : nullptr;
        throw NetError(NetError::Kind::Tls, std::string("TLS: ") + (reason ? reason : "the connection failed"));
    }
}

bool TcpConnection::peerIsLoopback() const
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (!m_fd || ::getpeername(m_fd.get(), reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return false;
    if (peer.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in&>(peer).sin_addr.s_addr) >> 24) == 127;
    if (peer.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    return false;
}

bool TcpConnection::peerClosed()
{
    if (m_fd.get() < 0 || m_eof)
        return true;
    if (buffered() > 0)
        return false;
    if (m_tls && SSL_pending(m_tls.get()) > 0)
        return false;
    pollfd p{m_fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (m_tls) {
        // Readable may be a record that holds no data (a ticket, an alert): look through it.
        ERR_clear_error();
        char c;
        size_t got = 0;
        const int r = SSL_peek_ex(m_tls.get(), &c, 1, &got);
        const int error = r == 1 ? SSL_ERROR_NONE : SSL_get_error(m_tls.get(), r);
        ERR_clear_error();
        return error != SSL_ERROR_NONE && error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE;
    }
    char c;
    const ssize_t n = ::recv(m_fd.get(), &c, 1, MSG_PEEK);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool TcpConnection::idleAndClean()
{
    if (m_fd.get() < 0 || m_eof || buffered() > 0)
        return false;
    if (m_tls && SSL_pending(m_tls.get()) > 0)
        return false;
    pollfd p{m_fd.get(), POLLIN, 0};
    const int r = ::poll(&p, 1, 0);
    if (r < 0)
        return false;
    if (r == 0)
        return true;
    if (m_tls) {
        // A record that holds no data (a ticket) is fine; data or an alert is not.
        ERR_clear_error();
        char c;
        size_t got = 0;
        const int peeked = SSL_peek_ex(m_tls.get(), &c, 1, &got);
        const int error = peeked == 1 ? SSL_ERROR_NONE : SSL_get_error(m_tls.get(), peeked);
        ERR_clear_error();
        return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    }
    return false;
}

void TcpConnection::sendAll(std::string_view bytes, std::optional<int> timeoutMs)
{
    size_t sent = 0;
    while (m_tls && sent < bytes.size()) {
        ERR_clear_error();
        size_t n = 0;
        const int r = SSL_write_ex(m_tls.get(), bytes.data() + sent, bytes.size() - sent, &n);
        if (r == 1) {
            sent += n;
            continue;
        }
        const int error = SSL_get_error(m_tls.get(), r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(m_fd.get(), error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs))
                raiseErrno(ETIMEDOUT);
            continue;
        }
        if (error == SSL_ERROR_SYSCALL && errno != 0)
            raiseErrno(errno);
        ERR_clear_error();
        throw NetError(NetError::Kind::Tls, "TLS: the connection failed");
    }
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_fd.get(), POLLOUT, timeoutMs))
                raiseErrno(ETIMEDOUT);
        } else if (n < 0 && errno != EINTR) {
            raiseErrno(errno);
        }
    }
}

TcpConnection::Fill TcpConnection::fill(std::optional<int> timeoutMs)
{
    if (m_eof)
        return Fill::Eof;
    // Checked on every read too: a peer that drips bytes never lets a wait run out.
    checkDeadline();
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kBufferSize);
    if (m_start == m_end) {
        m_start = m_end = 0;
    } else if (m_end == kBufferSize) {
        std::memmove(m_buffer.get(), data(), buffered());
        m_end -= m_start;
        m_start = 0;
    }
    if (m_tls)
        return fillTls(timeoutMs);
    // Data that is already there is taken without a wait; only an empty socket is polled.
    for (;;) {
        const ssize_t n = ::recv(m_fd.get(), m_buffer.get() + m_end, kBufferSize - m_end, 0);
        if (n > 0) {
            m_end += static_cast<size_t>(n);
            m_received += static_cast<size_t>(n);
            return Fill::Data;
        }
        if (n == 0) {
            m_eof = true;
            return Fill::Eof;
        }
        const int code = errno;
        if (code != EAGAIN && code != EWOULDBLOCK && code != EINTR)
            raiseErrno(code);
        if (code != EINTR && !waitFor(m_fd.get(), POLLIN, timeoutMs))
            return Fill::TimedOut;
    }
}

void TcpConnection::consume(size_t n)
{
    m_start += n;
    if (m_start == m_end)
        m_start = m_end = 0;
}

TcpConnection::LineResult TcpConnection::readLine(std::string& line, std::optional<int> timeoutMs, size_t maxLength)
{
    size_t searched = 0;
    for (;;) {
        const std::string_view held(data(), buffered());
        const size_t lf = held.find('\n', searched);
        if (lf != std::string_view::npos) {
            size_t end = lf;
            if (end > 0 && held[end - 1] == '\r')
                --end;
            if (end > maxLength)
                throw NetError(NetError::Kind::TooLarge, "Max line length exceeded.");
            line.assign(held.substr(0, end));
            consume(lf + 1);
            return LineResult::Line;
        }
        // One byte of room for the carriage return that may end the line.
        if (held.size() > maxLength + 1)
            throw NetError(NetError::Kind::TooLarge, "Max line length exceeded.");
        searched = held.size();
        const Fill f = fill(timeoutMs);
        if (f == Fill::TimedOut)
            return LineResult::TimedOut;
        if (f == Fill::Eof) {
            if (buffered() == 0)
                return LineResult::Closed;
            std::string_view rest(data(), buffered());
            if (rest.back() == '\r')
                rest.remove_suffix(1);
            if (rest.size() > maxLength)
                throw NetError(NetError::Kind::TooLarge, "Max line length exceeded.");
            line.assign(rest);
            consume(buffered());
            return LineResult::Line;
        }
    }
}

bool TcpConnection::waitReadable(int timeoutMs)
{
    if (buffered() > 0 || m_eof)
        return true;
    return waitFor(m_fd.get(), POLLIN, timeoutMs);
}

size_t TcpConnection::readExact(std::string* out, size_t n, std::optional<int> timeoutMs)
{
    size_t done = 0;
    while (done < n) {
        if (buffered() == 0) {
            const Fill f = fill(timeoutMs);
            if (f == Fill::TimedOut)
                throw NetError::timedOut();
            if (f == Fill::Eof)
                break;
        }
        const size_t take = std::min(buffered(), n - done);
        if (out != nullptr)
            out->append(data(), take);
        consume(take);
        done += take;
    }
    return done;
}

size_t TcpConnection::readToEnd(std::string* out, size_t limit, std::optional<int> timeoutMs, const char* tooLargeMessage)
{
    size_t done = 0;
    for (;;) {
        const size_t take = buffered();
        if (done + take > limit)
            throw NetError(NetError::Kind::TooLarge, tooLargeMessage);
        if (out != nullptr)
            out->append(data(), take);
        consume(take);
        done += take;
        const Fill f = fill(timeoutMs);
        if (f == Fill::TimedOut)
            throw NetError::timedOut();
        if (f == Fill::Eof && buffered() == 0)
            return done;
    }
}

} // namespace kaldrani::net
