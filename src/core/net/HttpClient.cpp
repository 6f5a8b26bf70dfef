#include "core/net/HttpClient.h"

#include "core/net/ConnectionPool.h"
#include "core/net/GzipBody.h"
#include "core/net/HttpAddress.h"
#include "core/net/HttpCookies.h"
#include "core/net/HttpRequest.h"
#include "core/net/HttpResponseHead.h"
#include "core/net/Resolver.h"
#include "core/net/TcpConnection.h"
#include "core/text/Encoding.h"
#include "core/text/Numbers.h"
#include "core/text/Ascii.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/evp.h>

namespace kaldrani::net {

namespace {

constexpr size_t kMaxLineLength = 16384;
constexpr size_t kMaxHeaderLines = 255;
// Interim "100 Continue" answers skipped before the real one; a server sends one at most.
constexpr int kMaxInterimAnswers = 8;
// The cookie, target and header bounds keep a request head far below this.
constexpr size_t kMaxRequestHeadBytes = 64 * 1024;
// A remote server must not be able to exhaust the program's memory.
constexpr size_t kMaxBodyBytes = size_t{64} << 20;
constexpr const char* kBodyTooLarge = "Response body larger than 64 MiB.";
constexpr int kRedirectBodyWaitMs = 5000;
constexpr int kShortBodyWaitMs = 100;

struct Response {
    std::string statusLine;
    int code = -1;
    HttpHeaders headers;
};

std::string decodeStringForm(const HttpHeaders& headers, const std::string& body)
{
    return declaresUtf8(headers) ? text::sanitizeUtf8(body) : text::latin1ToUtf8(body);
}

// The proxy could not be connected to: a rotation sets it aside and tries the next.
class ProxyUnreachable : public NetError {
public:
    explicit ProxyUnreachable(const std::string& message) : NetError(Kind::Proxy, message) { }
};

// "Basic " and user:password in base64 (RFC 7617).
std::string basicCredentials(const ProxyAddress& proxy)
{
    const std::string plain = proxy.user + ":" + proxy.password;
    std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                  reinterpret_cast<const unsigned char*>(plain.data()), static_cast<int>(plain.size()));
    encoded.resize(static_cast<size_t>(std::max(n, 0)));
    return "Basic " + encoded;
}

// One line of a system text: "Socket Error # 104\r\nConnection reset by peer." read as such.
std::string flatten(std::string text)
{
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, ": ");
    return text;
}

std::string proxyConnectFailure(const ProxyAddress& proxy, int code)
{
    if (code == ECONNREFUSED)
        return "proxy: connection refused by " + proxy.hostPort();
    if (code == ETIMEDOUT)
        return "proxy: no answer from " + proxy.hostPort() + " (connection timed out)";
    if (code == EAI_NONAME)
        return "proxy: host not found: " + proxy.host;
    std::string why = code > 0 ? std::strerror(code) : "cannot connect";
    if (!why.empty())
        why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return "proxy: " + why + " (" + proxy.hostPort() + ")";
}

// Whether the body is gzip-coded: the only content coding ever decoded.
bool gzipCoded(const HttpHeaders& headers)
{
    const std::string* coding = headers.find("Content-Encoding");
    return coding != nullptr && text::equalsIgnoreAsciiCase(text::trimView(*coding), "gzip");
}

// Whether the request's own headers ask the server to close after its answer.
bool asksToClose(const std::vector<std::pair<std::string, std::string>>& headers)
{
    for (const auto& [name, value] : headers)
        if (text::equalsIgnoreAsciiCase(text::trimView(name), "Connection")
            && text::asciiLower(value).find("close") != std::string::npos)
            return true;
    return false;
}

// Whether the server means to keep the connection for another request: HTTP/1.1 does
// unless it says close; HTTP/1.0 only when it says keep-alive (RFC 9112 9.3).
bool persistentAnswer(const Response& response)
{
    if (!allowsKeepAlive(response.headers))
        return false;
    if (response.statusLine.starts_with("HTTP/1.1") || response.statusLine.starts_with("HTTP/2"))
        return true;
    const std::string* connection = response.headers.find("Connection");
    return connection != nullptr && text::asciiLower(*connection).find("keep-alive") != std::string::npos;
}

// Bodies read to the end of what their head announced, or not.
enum class BodyEnd { Whole, Cut, NotWaited };

HttpStatusError statusError(const Response& response, std::string body)
{
    // The status is the news; a damaged coding of its page must not hide it. A body that
    // is not coded is never copied: it may be as large as the bound.
    if (gzipCoded(response.headers)) {
        try {
            body = gunzipBody(body, kMaxBodyBytes);
        } catch (const NetError&) {
        }
    }
    HttpStatusError error(response.code, response.statusLine, std::move(body), declaresUtf8(response.headers));
    if (const std::string* retryAfter = response.headers.find("Retry-After"))
        error.setRetryAfter(*retryAfter);
    return error;
}

} // namespace

HttpStatusError::HttpStatusError(int code, std::string statusLine, std::string body)
    : NetError(Kind::Status, statusLine.empty() ? "HTTP status " + std::to_string(code) : statusLine)
    , m_code(code)
    , m_statusLine(std::move(statusLine))
    , m_body(std::move(body))
{
}

HttpStatusError::HttpStatusError(int code, std::string statusLine, std::string bodyBytes, bool utf8)
    : HttpStatusError(code, std::move(statusLine), std::move(bodyBytes))
{
    m_decoded = false;
    m_utf8 = utf8;
}

const std::string& HttpStatusError::body() const
{
    if (!m_decoded) {
        m_body = m_utf8 ? text::sanitizeUtf8(m_body) : text::latin1ToUtf8(m_body);
        m_decoded = true;
    }
    return m_body;
}

struct THttpClient::Impl {
    TcpConnection connection;
    // The proxy the connection goes through ("" direct), credentials included.
    std::string connectedVia;
    // Scheme, host, port and proxy: what a kept connection is filed under in a run's pool.
    std::string connectedRoute;
    std::string connectedHost;
    int connectedPort = 0;
    bool connectedTls = false;
    bool keepAlive = false;
    CookieJar cookies;
    std::string lastStatusLine;
    std::string lastContentType;
    std::vector<std::string> locations;

    // One whole fetch; the final body is appended to body, the final head returned.
    Response fetch(const THttpClient& settings, const std::string& url, std::string& body);

private:
    std::optional<int> readTimeout;
    std::optional<int> connectTimeout;
    size_t maxBody = kMaxBodyBytes;
    std::string bodyTooLarge = kBodyTooLarge;
    std::function<void(std::uint64_t, std::uint64_t)> progress;
    TcpConnection::Deadline deadline;
    bool requestCloses = false;

    // Opens a connection unless a kept-alive one to the same server is usable, its own or,
    // when pooled, one from the run's pool; true when reused.
    bool connectFor(const HttpAddress& address, int port, bool tls, const std::optional<ProxyAddress>& proxy, bool pooled);
    // After an answer whose body was read as end says: keeps the connection for the next
    // request when the answer and the request allow it (in the run's pool, if one is
    // bound), else closes it.
    void settle(const Response& response, BodyEnd end);
    // Opens the connection to proxy and asks it for a way to host:port.
    void openThroughProxy(const ProxyAddress& proxy, const std::string& host, int port, bool tls);
    void httpConnect(const ProxyAddress& proxy, const std::string& host, int port);
    void socksConnect(const ProxyAddress& proxy, const std::string& host, int port);
    // Reads exactly n bytes of the proxy's answer.
    std::string proxyBytes(const ProxyAddress& proxy, size_t n);
    Response exchange(const THttpClient& settings, const HttpAddress& address, int port, bool tls);
    void readHead(Response& response, const HttpAddress& address);
    // Reads the body its head frames. Cut: the peer closed before the Content-Length was
    // read, so what came is not the whole. NotWaited: nothing came within the wait limit.
    BodyEnd readBody(const HttpHeaders& headers, std::string* out, std::optional<int> waitLimitMs);
    void readChunked(std::string* out);
    std::string readBodyLine();
};

bool THttpClient::Impl::connectFor(const HttpAddress& address, int port, bool tls, const std::optional<ProxyAddress>& proxy,
                                   bool pooled)
{
    const std::string via = proxy ? proxy->display() + "\n" + proxy->user + "\n" + proxy->password : std::string();
    const bool sameServer = text::equalsIgnoreAsciiCase(connectedHost, address.host) && connectedPort == port
                            && connectedTls == tls && connectedVia == via;
    if (connection.isOpen() && keepAlive && sameServer && connection.idleAndClean())
        return true;
    connection.close();
    keepAlive = false;
    connectedHost.clear();
    connectedVia = via;
    connectedRoute = (tls ? "https://" : "http://") + text::asciiLower(address.host) + ":" + std::to_string(port) + "\n" + via;
    if (ConnectionPool* pool = currentConnectionPool(); pool != nullptr && pooled) {
        if (std::optional<TcpConnection> kept = pool->take(connectedRoute)) {
            connection = std::move(*kept);
            connection.setDeadline(deadline);
            connectedHost = address.host;
            connectedPort = port;
            connectedTls = tls;
            return true;
        }
    }
    if (proxy)
        openThroughProxy(*proxy, address.host, port, tls);
    else
        connection.open(address.host, port, connectTimeout);
    // The name the address gives, whatever the connect-to rules did with the socket.
    if (tls)
        connection.startTls(address.host, readTimeout);
    connectedHost = address.host;
    connectedPort = port;
    connectedTls = tls;
    return false;
}

void THttpClient::Impl::settle(const Response& response, BodyEnd end)
{
    keepAlive = end == BodyEnd::Whole && connection.isOpen() && !requestCloses && allowsKeepAlive(response.headers);
    ConnectionPool* pool = currentConnectionPool();
    if (keepAlive && pool != nullptr && persistentAnswer(response))
        pool->give(connectedRoute, std::move(connection));
    if (!keepAlive || pool != nullptr) {
        connection.close();
        keepAlive = false;
    }
}

Response THttpClient::Impl::exchange(const THttpClient& settings, const HttpAddress& address, int port, bool tls)
{
    std::optional<ProxyAddress> proxy;
    try {
        proxy = settings.Proxy.proxyFor(tls ? "https" : "http", address.host, port);
    } catch (const std::invalid_argument& e) {
        throw NetError(NetError::Kind::Proxy, std::string("proxy: ") + e.what());
    }
    HttpRequest request;
    request.host = hostHeaderValue(address);
    request.userAgent = settings.UserAgent;
    if (settings.AllowCookies)
        request.cookie = cookies.cookieHeader(address.host, address.path + address.document, std::time(nullptr), tls);
    request.protocolVersion = settings.ProtocolVersion;
    request.accept = settings.Accept;
    request.extraHeaders = settings.ExtraHeaders;
    // Through an HTTP proxy a plain request names the whole address (RFC 9112 3.2.2).
    bool absoluteForm = false;
    std::string bytes;
    const auto writeFor = [&](const std::optional<ProxyAddress>& via) {
        absoluteForm = via && via->scheme == ProxyAddress::Scheme::Http && !tls;
        request.target = absoluteForm ? "http://" + hostHeaderValue(address) + requestTarget(address) : requestTarget(address);
        bytes = writeRequest(request);
        if (absoluteForm && !via->user.empty())
            bytes.insert(bytes.size() - 2, "Proxy-Authorization: " + basicCredentials(*via) + "\r\n");
        if (bytes.size() > kMaxRequestHeadBytes)
            throw NetError(NetError::Kind::TooLarge, "Request header too large.");
    };
    writeFor(proxy);

    // A kept connection the server dropped while it idled (a close or a reset before any
    // byte of the answer) gets one attempt on a fresh connection, never a kept one: every
    // request here is a GET, which may be repeated. A new connection that fails is the
    // server's answer.
    for (int attempt = 0;; ++attempt) {
        bool reused = false;
        for (;;) {
            try {
                reused = connectFor(address, port, tls, proxy, attempt == 0) && attempt == 0;
                break;
            } catch (const ProxyUnreachable& e) {
                if (!settings.Proxy.rotation)
                    throw;
                settings.Proxy.rotation->setAside(*proxy, e.what());
                proxy = settings.Proxy.proxyFor(tls ? "https" : "http", address.host, port);
                writeFor(proxy);
            }
        }
        Response response;
        const std::uint64_t receivedBefore = connection.bytesReceived();
        try {
            connection.sendAll(bytes);
            const auto result = connection.readLine(response.statusLine, readTimeout, kMaxLineLength);
            if (result == TcpConnection::LineResult::Closed) {
                if (reused) {
                    connection.close();
                    continue;
                }
                throw NetError::closed();
            }
            if (result == TcpConnection::LineResult::TimedOut)
                response.statusLine.clear();
        } catch (const NetError& e) {
            const bool dropped = e.kind() == NetError::Kind::Socket || e.kind() == NetError::Kind::Tls;
            if (!reused || !dropped || connection.bytesReceived() != receivedBefore)
                throw;
            connection.close();
            continue;
        }
        readHead(response, address);
        // The proxy's own refusal, never the service's answer.
        if (absoluteForm && response.code == 407)
            throw NetError(NetError::Kind::Proxy, "proxy: 407 authentication required");
        return response;
    }
}

void THttpClient::Impl::openThroughProxy(const ProxyAddress& proxy, const std::string& host, int port, bool tls)
{
    try {
        // The proxy is where the connect-to rules apply; the service is reached from there.
        connection.open(proxy.host, proxy.port, connectTimeout);
    } catch (const NetError& e) {
        if (e.kind() != NetError::Kind::Socket)
            throw;
        throw ProxyUnreachable(proxyConnectFailure(proxy, e.code()));
    }
    try {
        if (proxy.scheme != ProxyAddress::Scheme::Http)
            socksConnect(proxy, host, port);
        else if (tls)
            httpConnect(proxy, host, port);
    } catch (const NetError& e) {
        if (e.kind() == NetError::Kind::Proxy || e.kind() == NetError::Kind::Stopped || e.kind() == NetError::Kind::Deadline)
            throw;
        if (e.kind() == NetError::Kind::TimedOut)
            throw NetError(NetError::Kind::Proxy, "proxy: no answer from " + proxy.hostPort() + " (read timed out)");
        throw NetError(NetError::Kind::Proxy, "proxy: " + proxy.hostPort() + " failed: " + flatten(e.what()));
    }
}

std::string THttpClient::Impl::proxyBytes(const ProxyAddress& proxy, size_t n)
{
    std::string out;
    if (connection.readExact(&out, n, readTimeout) < n)
        throw NetError(NetError::Kind::Proxy, "proxy: " + proxy.hostPort() + " closed the connection");
    return out;
}

void THttpClient::Impl::httpConnect(const ProxyAddress& proxy, const std::string& host, int port)
{
    const std::string authority = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    std::string head = "CONNECT " + toRequestAscii(authority) + " HTTP/1.1\r\nHost: " + toRequestAscii(authority) + "\r\n";
    if (!proxy.user.empty())
        head += "Proxy-Authorization: " + basicCredentials(proxy) + "\r\n";
    head += "\r\n";
    connection.sendAll(head, readTimeout);
    std::string status;
    const auto result = connection.readLine(status, readTimeout, kMaxLineLength);
    if (result == TcpConnection::LineResult::TimedOut)
        throw NetError::timedOut();
    if (result == TcpConnection::LineResult::Closed)
        throw NetError(NetError::Kind::Proxy, "proxy: " + proxy.hostPort() + " closed the connection");
    status = decodeHeadLine(status);
    const int code = parseStatusCode(status);
    for (size_t lines = 0;; ++lines) {
        std::string line;
        const auto r = connection.readLine(line, readTimeout, kMaxLineLength);
        if (r == TcpConnection::LineResult::TimedOut)
            throw NetError::timedOut();
        if (r == TcpConnection::LineResult::Closed || line.empty())
            break;
        if (lines >= kMaxHeaderLines)
            throw NetError(NetError::Kind::Proxy, "proxy: too many header lines");
    }
    if (code == 407)
        throw NetError(NetError::Kind::Proxy, "proxy: 407 authentication required");
    if (code < 200 || code > 299) {
        const size_t space = status.find(' ');
        throw NetError(NetError::Kind::Proxy,
                       "proxy: " + (space == std::string::npos ? status : status.substr(space + 1)) + " (CONNECT " + authority + ")");
    }
}

void THttpClient::Impl::socksConnect(const ProxyAddress& proxy, const std::string& host, int port)
{
    // RFC 1928, with RFC 1929's user name and password.
    const bool credentials = !proxy.user.empty();
    if (proxy.user.size() > 255 || proxy.password.size() > 255)
        throw NetError(NetError::Kind::Proxy, "proxy: SOCKS5 user name or password longer than 255 bytes");
    connection.sendAll(credentials ? std::string("\x05\x02\x00\x02", 4) : std::string("\x05\x01\x00", 3), readTimeout);
    const std::string method = proxyBytes(proxy, 2);
    if (method[0] != 5)
        throw NetError(NetError::Kind::Proxy, "proxy: " + proxy.hostPort() + " does not speak SOCKS5");
    if (method[1] == 2 && credentials) {
        std::string login = "\x01";
        login += static_cast<char>(proxy.user.size());
        login += proxy.user;
        login += static_cast<char>(proxy.password.size());
        login += proxy.password;
        connection.sendAll(login, readTimeout);
        if (proxyBytes(proxy, 2)[1] != 0)
            throw NetError(NetError::Kind::Proxy, "proxy: SOCKS5 authentication failed");
    } else if (method[1] != 0) {
        throw NetError(NetError::Kind::Proxy, "proxy: SOCKS5 authentication required");
    }

    std::string ask("\x05\x01\x00", 3);
    std::optional<SocketAddress> target = literalAddress(host, port);
    if (!target && proxy.scheme == ProxyAddress::Scheme::Socks5)
        target = happyEyeballsOrder(lookUpHost(host, port, deadline)).front();
    if (target) {
        if (target->family() == AF_INET6) {
            const auto* a = reinterpret_cast<const sockaddr_in6*>(&target->storage);
            ask += '\x04';
            ask.append(reinterpret_cast<const char*>(&a->sin6_addr), 16);
        } else {
            const auto* a = reinterpret_cast<const sockaddr_in*>(&target->storage);
            ask += '\x01';
            ask.append(reinterpret_cast<const char*>(&a->sin_addr), 4);
        }
    } else {
        if (host.size() > 255)
            throw NetError(NetError::Kind::Proxy, "proxy: a host name longer than 255 bytes cannot go through SOCKS5");
        ask += '\x03';
        ask += static_cast<char>(host.size());
        ask += host;
    }
    ask += static_cast<char>((port >> 8) & 0xff);
    ask += static_cast<char>(port & 0xff);
    connection.sendAll(ask, readTimeout);
    const std::string answer = proxyBytes(proxy, 4);
    if (answer[0] != 5)
        throw NetError(NetError::Kind::Proxy, "proxy: " + proxy.hostPort() + " does not speak SOCKS5");
    if (answer[1] != 0) {
        static const char* const reasons[] = {"succeeded", "general SOCKS server failure", "connection not allowed by ruleset",
                                              "network unreachable", "host unreachable", "connection refused",
                                              "TTL expired", "command not supported", "address type not supported"};
        const auto code = static_cast<unsigned char>(answer[1]);
        throw NetError(NetError::Kind::Proxy, std::string("proxy: SOCKS5 ") + (code < 9 ? reasons[code] : "failure")
                                                  + " (" + std::to_string(code) + ")");
    }
    // The address the proxy bound, not needed.
    const auto type = static_cast<unsigned char>(answer[3]);
    size_t rest = type == 1 ? 4 : type == 4 ? 16 : type == 3 ? static_cast<unsigned char>(proxyBytes(proxy, 1)[0]) : 0;
    if (type != 1 && type != 3 && type != 4)
        throw NetError(NetError::Kind::Proxy, "proxy: SOCKS5 answer of unknown address type");
    proxyBytes(proxy, rest + 2);
}

void THttpClient::Impl::readHead(Response& response, const HttpAddress& address)
{
    for (int interim = 0;; ++interim) {
        response.statusLine = decodeHeadLine(response.statusLine);
        response.code = parseStatusCode(response.statusLine);
        response.headers.clear();
        size_t lines = 0;
        for (;;) {
            std::string line;
            const auto result = connection.readLine(line, readTimeout, kMaxLineLength);
            // A head cut before its blank line frames no body: nothing after it is whole.
            if (result == TcpConnection::LineResult::Closed)
                throw NetError::closed();
            if (result != TcpConnection::LineResult::Line || line.empty())
                break;
            if (++lines > kMaxHeaderLines)
                throw NetError(NetError::Kind::TooLarge, "Too many header lines.");
            response.headers.addLine(decodeHeadLine(line));
        }
        for (const char* name : {"Set-Cookie", "Set-Cookie2"})
            for (const auto& value : response.headers.findAll(name))
                cookies.setCookie(value, address.host, std::time(nullptr));
        if (response.code != 100)
            return;
        if (interim >= kMaxInterimAnswers)
            throw NetError(NetError::Kind::Protocol, "Too many interim responses.");
        // An interim answer: the real one follows on the same connection.
        const auto result = connection.readLine(response.statusLine, readTimeout, kMaxLineLength);
        if (result == TcpConnection::LineResult::Closed)
            throw NetError::closed();
        if (result == TcpConnection::LineResult::TimedOut)
            response.statusLine.clear();
    }
}

std::string THttpClient::Impl::readBodyLine()
{
    std::string line;
    const auto result = connection.readLine(line, readTimeout, kMaxLineLength);
    if (result == TcpConnection::LineResult::TimedOut)
        throw NetError::timedOut();
    if (result == TcpConnection::LineResult::Closed)
        throw NetError::closed();
    return line;
}

void THttpClient::Impl::readChunked(std::string* out)
{
    // [rfc7230] 4.1 Chunked Transfer Coding
    size_t total = 0;
    for (std::uint64_t size = parseChunkSize(readBodyLine()); size > 0; size = parseChunkSize(readBodyLine())) {
        if (size > maxBody - total)
            throw NetError(NetError::Kind::TooLarge, bodyTooLarge);
        if (connection.readExact(out, size, readTimeout) < size)
            throw NetError::closed();
        total += size;
        readBodyLine();
    }
    // The trailer section ends at an empty line; a server that closes here sent it all.
    // Its lines are bounded like the header lines, or a server could hold the fetch for ever.
    for (size_t lines = 0;; ++lines) {
        std::string line;
        const auto result = connection.readLine(line, readTimeout, kMaxLineLength);
        if (result == TcpConnection::LineResult::TimedOut)
            throw NetError::timedOut();
        if (result == TcpConnection::LineResult::Closed || line.empty())
            return;
        if (lines >= kMaxHeaderLines)
            throw NetError(NetError::Kind::TooLarge, "Too many header lines.");
    }
}

BodyEnd THttpClient::Impl::readBody(const HttpHeaders& headers, std::string* out, std::optional<int> waitLimitMs)
{
    const std::optional<std::int64_t> length = contentLength(headers);
    const bool chunked = isChunked(headers);
    if (!chunked && length && *length == 0)
        return BodyEnd::Whole;
    if (waitLimitMs && !connection.waitReadable(*waitLimitMs))
        return BodyEnd::NotWaited;
    if (chunked) {
        readChunked(out);
    } else if (length && *length > 0) {
        if (static_cast<std::uint64_t>(*length) > maxBody)
            throw NetError(NetError::Kind::TooLarge, bodyTooLarge);
        // Room for the announced length at once: growing by doubling would touch twice it.
        if (out != nullptr)
            out->reserve(out->size() + static_cast<size_t>(*length));
        if (!progress)
            return connection.readExact(out, static_cast<size_t>(*length), readTimeout) == static_cast<size_t>(*length)
                       ? BodyEnd::Whole
                       : BodyEnd::Cut;
        const auto total = static_cast<std::uint64_t>(*length);
        constexpr std::uint64_t kPiece = 256 * 1024;
        for (std::uint64_t received = 0; received < total;) {
            const std::uint64_t piece = std::min(kPiece, total - received);
            const size_t got = connection.readExact(out, static_cast<size_t>(piece), readTimeout);
            received += got;
            progress(received, total);
            if (got < piece)
                return BodyEnd::Cut;
        }
    } else {
        connection.readToEnd(out, maxBody, readTimeout, bodyTooLarge.c_str());
    }
    return BodyEnd::Whole;
}

Response THttpClient::Impl::fetch(const THttpClient& settings, const std::string& url, std::string& body)
{
    readTimeout = settings.ReadTimeout && *settings.ReadTimeout > 0 ? settings.ReadTimeout : std::nullopt;
    connectTimeout = settings.ConnectTimeout && *settings.ConnectTimeout > 0 ? settings.ConnectTimeout : std::nullopt;
    maxBody = settings.MaxBodyBytes;
    bodyTooLarge = maxBody == kMaxBodyBytes ? std::string(kBodyTooLarge)
                                            : "Response body larger than " + std::to_string(maxBody >> 20) + " MiB.";
    progress = settings.Progress;
    requestCloses = asksToClose(settings.ExtraHeaders);
    lastStatusLine.clear();
    deadline.reset();
    lastContentType.clear();
    locations.clear();
    if (settings.FetchTimeout && *settings.FetchTimeout > 0)
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(*settings.FetchTimeout);
    connection.setDeadline(deadline);
    const size_t initialLength = body.size();
    int redirects = 0;
    std::string current = url;
    try {
        for (;;) {
            connection.checkDeadline();
            const HttpAddress address = splitAddress(current);
            const std::string scheme = text::asciiLower(address.scheme);
            std::string slashed = current;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            if (slashed.find("://") == std::string::npos)
                throw NetError(NetError::Kind::Protocol, "Unknown Protocol");
            const bool tls = scheme == "https";
            int port = tls ? 443 : 80;
            if (!address.portText.empty()) {
                const std::optional<int> given = text::parsePort(address.portText);
                if (!given || *given == 0)
                    throw NetError(NetError::Kind::Protocol, "Invalid port \"" + address.portText + "\".");
                port = *given;
            } else if (scheme != "http" && !tls) {
                throw NetError(NetError::Kind::Protocol, "Unknown Protocol");
            }

            Response response = exchange(settings, address, port, tls);
            lastStatusLine = response.statusLine;
            const int code = response.code;
            const std::string* location = response.headers.find("Location");
            const bool redirect = (code >= 300 && code <= 399 && code != 304) || (location != nullptr && !location->empty());

            std::string scratch;
            if (redirect) {
                ++redirects;
                if (location != nullptr)
                    locations.push_back(*location);
                if (!settings.HandleRedirects) {
                    settle(response, readBody(response.headers, &scratch, std::nullopt));
                    throw statusError(response, std::move(scratch));
                }
                const BodyEnd end = readBody(response.headers, nullptr, kRedirectBodyWaitMs);
                body.resize(initialLength);
                if (redirects >= settings.RedirectMaximum) {
                    settle(response, end);
                    return response;
                }
                // The next address may be on this server: the connection waits in the
                // client, not in the pool.
                keepAlive = end == BodyEnd::Whole && connection.isOpen() && !requestCloses && allowsKeepAlive(response.headers);
                if (!keepAlive)
                    connection.close();
                current = resolveLocation(address, location != nullptr ? *location : std::string());
                continue;
            }
            if (code >= 200 && code <= 299) {
                BodyEnd end = BodyEnd::Whole;
                if (code == 204) {
                    // A 204 has no body (RFC 9110 15.3.5): nothing in the wait is the whole of it.
                    if ((end = readBody(response.headers, nullptr, kShortBodyWaitMs)) == BodyEnd::NotWaited)
                        end = BodyEnd::Whole;
                } else if ((end = readBody(response.headers, &body, std::nullopt)) == BodyEnd::Cut) {
                    throw NetError::closed();
                }
                if (const std::string* type = response.headers.find("Content-Type"))
                    lastContentType = *type;
                if (body.size() > initialLength && gzipCoded(response.headers))
                    body.replace(initialLength, std::string::npos,
                                 gunzipBody(std::string_view(body).substr(initialLength), kMaxBodyBytes));
                settle(response, end);
                return response;
            }
            const bool shortWait = (code >= 101 && code <= 199) || code == 304;
            const BodyEnd end = readBody(response.headers, &scratch, shortWait ? std::optional<int>(kShortBodyWaitMs) : std::nullopt);
            // Neither has a body (RFC 9110 15.2, 15.4.5).
            settle(response, shortWait && end == BodyEnd::NotWaited ? BodyEnd::Whole : end);
            throw statusError(response, std::move(scratch));
        }
    } catch (...) {
        body.resize(initialLength);
        connection.close();
        keepAlive = false;
        throw;
    }
}

THttpClient::THttpClient() : m_impl(std::make_unique<Impl>()) { }

THttpClient::~THttpClient() = default;

void THttpClient::FetchPage(const std::string& url, std::string& buffer)
{
    m_impl->fetch(*this, url, buffer);
}

std::string THttpClient::FetchPage(const std::string& url)
{
    std::string body;
    const Response response = m_impl->fetch(*this, url, body);
    return decodeStringForm(response.headers, body);
}

const std::string& THttpClient::lastStatusLine() const
{
    return m_impl->lastStatusLine;
}

const std::string& THttpClient::lastContentType() const
{
    return m_impl->lastContentType;
}

const std::vector<std::string>& THttpClient::lastLocations() const
{
    return m_impl->locations;
}

std::string readAnsi(const std::string& buffer)
{
    return text::gbkToUtf8(buffer);
}

} // namespace kaldrani::net
