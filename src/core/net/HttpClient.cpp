#include "core/net/HttpClient.h"

#include "core/net/GzipBody.h"
#include "core/net/HttpAddress.h"
#include "core/net/HttpCookies.h"
#include "core/net/HttpRequest.h"
#include "core/net/HttpResponseHead.h"
#include "core/net/TcpConnection.h"
#include "core/text/Encoding.h"
#include "core/text/Numbers.h"
#include "core/text/Ascii.h"

#include <algorithm>
#include <chrono>
#include <ctime>

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

// Whether the body is gzip-coded: the only content coding ever decoded.
bool gzipCoded(const HttpHeaders& headers)
{
    const std::string* coding = headers.find("Content-Encoding");
    return coding != nullptr && text::equalsIgnoreAsciiCase(text::trimView(*coding), "gzip");
}

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

    // Opens a connection unless a kept-alive one to the same server is usable; true when reused.
    bool connectFor(const HttpAddress& address, int port, bool tls);
    Response exchange(const THttpClient& settings, const HttpAddress& address, int port, bool tls);
    void readHead(Response& response, const HttpAddress& address);
    // Reads the body its head frames; false when the peer closed before the Content-Length
    // was read, so that what came is not taken for the whole.
    bool readBody(const HttpHeaders& headers, std::string* out, std::optional<int> waitLimitMs);
    void readChunked(std::string* out);
    std::string readBodyLine();
};

bool THttpClient::Impl::connectFor(const HttpAddress& address, int port, bool tls)
{
    const bool sameServer =
        text::equalsIgnoreAsciiCase(connectedHost, address.host) && connectedPort == port && connectedTls == tls;
    if (connection.isOpen() && keepAlive && sameServer && !connection.peerClosed())
        return true;
    connection.close();
    keepAlive = false;
    connectedHost.clear();
    connection.open(address.host, port, connectTimeout);
    // The name the address gives, whatever the connect-to rules did with the socket.
    if (tls)
        connection.startTls(address.host, readTimeout);
    connectedHost = address.host;
    connectedPort = port;
    connectedTls = tls;
    return false;
}

Response THttpClient::Impl::exchange(const THttpClient& settings, const HttpAddress& address, int port, bool tls)
{
    HttpRequest request;
    request.target = requestTarget(address);
    request.host = hostHeaderValue(address);
    request.userAgent = settings.UserAgent;
    if (settings.AllowCookies)
        request.cookie = cookies.cookieHeader(address.host, address.path + address.document, std::time(nullptr), tls);
    request.protocolVersion = settings.ProtocolVersion;
    request.extraHeaders = settings.ExtraHeaders;
    const std::string bytes = writeRequest(request);
    if (bytes.size() > kMaxRequestHeadBytes)
        throw NetError(NetError::Kind::TooLarge, "Request header too large.");

    // A kept-alive connection the server has just dropped gets one fresh attempt; a new
    // connection that fails is the server's answer.
    for (int attempt = 0;; ++attempt) {
        const bool reused = connectFor(address, port, tls) && attempt == 0;
        Response response;
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
            if (!reused || e.kind() != NetError::Kind::Socket)
                throw;
            connection.close();
            continue;
        }
        readHead(response, address);
        return response;
    }
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
        if (size > kMaxBodyBytes - total)
            throw NetError(NetError::Kind::TooLarge, kBodyTooLarge);
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

bool THttpClient::Impl::readBody(const HttpHeaders& headers, std::string* out, std::optional<int> waitLimitMs)
{
    const std::optional<std::int64_t> length = contentLength(headers);
    const bool chunked = isChunked(headers);
    if (!chunked && length && *length == 0)
        return true;
    if (waitLimitMs && !connection.waitReadable(*waitLimitMs))
        return true;
    if (chunked) {
        readChunked(out);
    } else if (length && *length > 0) {
        if (static_cast<std::uint64_t>(*length) > kMaxBodyBytes)
            throw NetError(NetError::Kind::TooLarge, kBodyTooLarge);
        // Room for the announced length at once: growing by doubling would touch twice it.
        if (out != nullptr)
            out->reserve(out->size() + static_cast<size_t>(*length));
        return connection.readExact(out, static_cast<size_t>(*length), readTimeout) == static_cast<size_t>(*length);
    } else {
        connection.readToEnd(out, kMaxBodyBytes, readTimeout, kBodyTooLarge);
    }
    return true;
}

Response THttpClient::Impl::fetch(const THttpClient& settings, const std::string& url, std::string& body)
{
    readTimeout = settings.ReadTimeout && *settings.ReadTimeout > 0 ? settings.ReadTimeout : std::nullopt;
    connectTimeout = settings.ConnectTimeout && *settings.ConnectTimeout > 0 ? settings.ConnectTimeout : std::nullopt;
    lastStatusLine.clear();
    lastContentType.clear();
    locations.clear();
    TcpConnection::Deadline deadline;
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
                    readBody(response.headers, &scratch, std::nullopt);
                    throw statusError(response, std::move(scratch));
                }
                readBody(response.headers, nullptr, kRedirectBodyWaitMs);
                keepAlive = connection.isOpen() && allowsKeepAlive(response.headers);
                body.resize(initialLength);
                if (redirects >= settings.RedirectMaximum) {
                    if (!keepAlive)
                        connection.close();
                    return response;
                }
                current = resolveLocation(address, location != nullptr ? *location : std::string());
                continue;
            }
            if (code >= 200 && code <= 299) {
                if (code == 204)
                    readBody(response.headers, nullptr, kShortBodyWaitMs);
                else if (!readBody(response.headers, &body, std::nullopt))
                    throw NetError::closed();
                if (const std::string* type = response.headers.find("Content-Type"))
                    lastContentType = *type;
                if (body.size() > initialLength && gzipCoded(response.headers))
                    body.replace(initialLength, std::string::npos,
                                 gunzipBody(std::string_view(body).substr(initialLength), kMaxBodyBytes));
                keepAlive = connection.isOpen() && allowsKeepAlive(response.headers);
                if (!keepAlive)
                    connection.close();
                return response;
            }
            const bool shortWait = (code >= 101 && code <= 199) || code == 304;
            readBody(response.headers, &scratch, shortWait ? std::optional<int>(kShortBodyWaitMs) : std::nullopt);
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
