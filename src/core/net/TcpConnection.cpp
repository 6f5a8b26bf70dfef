#include "core/net/TcpConnection.h"

#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/StopSignal.h"
#include "core/net/Tls.h"
#include "core/sys/AddrInfo.h"

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

namespace kaldrani::net {

namespace {

// Room for the longest line the fetch accepts, many times over.
constexpr size_t kBufferSize = 64 * 1024;

SocketOpener& socketOpener()
{
    static SocketOpener opener;
    return opener;
}

[[noreturn]] void raiseErrno(int code)
{
    throw NetError(NetError::Kind::Socket, socketErrorMessage(code, std::strerror(code)));
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

void TcpConnection::TlsFree::operator()(SSL* ssl) const
{
    SSL_free(ssl);
}

void TcpConnection::close()
{
    m_tls.reset();
    m_fd.reset();
    m_eof = false;
    m_start = m_end = 0;
}

void setSocketOpener(SocketOpener opener)
{
    socketOpener() = std::move(opener);
}

void TcpConnection::open(const std::string& host, int port, std::optional<int> timeoutMs)
{
    close();
    if (socketOpener()) {
        const int fd = socketOpener()(host, port);
        if (fd < 0)
            raiseErrno(ECONNREFUSED);
        m_fd = sys::UniqueFd(fd);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return;
    }
    const ConnectTarget target = resolveConnectTarget(host, port);
    // A NUL would cut the name short and reach some other host.
    if (target.host.find('\0') != std::string::npos)
        throw NetError(NetError::Kind::Socket, socketErrorMessage(EAI_NONAME, "Host not found."));

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(target.port));
    if (::inet_pton(AF_INET, target.host.c_str(), &address.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answer = nullptr;
        const int rc = ::getaddrinfo(target.host.c_str(), nullptr, &hints, &answer);
        const sys::AddrInfoList found(answer);
        if (rc != 0 || !found)
            throw NetError(NetError::Kind::Socket, socketErrorMessage(rc == EAI_SYSTEM ? errno : rc, "Host not found."));
        address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    }

    // Owned here until connected: every failure below closes it on the way out.
    sys::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        raiseErrno(errno);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            raiseErrno(errno);
        if (!waitFor(fd.get(), POLLOUT, timeoutMs))
            raiseErrno(ETIMEDOUT);
        int code = 0;
        socklen_t length = sizeof code;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &code, &length) != 0)
            code = errno;
        if (code != 0)
            raiseErrno(code);
    }
    m_fd = std::move(fd);
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
    SSL_set_fd(ssl, m_fd.get());
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
