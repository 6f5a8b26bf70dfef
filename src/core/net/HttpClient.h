#pragma once

#include "core/net/NetError.h"
#include "core/net/Proxy.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kaldrani::net {

// A final answer that is not a success: a redirect not followed, or a status other than
// 2xx. Carries the code (-1 when the status line has none), the status line and the body
// decoded as the string form decodes it. Its kind is Status.
class HttpStatusError : public NetError {
public:
    HttpStatusError(int code, std::string statusLine, std::string body);
    // Keeps the body's bytes; they are decoded (as UTF-8 when utf8, else one character per
    // byte) only when body() is first asked for, as callers mostly throw them away.
    HttpStatusError(int code, std::string statusLine, std::string bodyBytes, bool utf8);
    int code() const { return m_code; }
    const std::string& statusLine() const { return m_statusLine; }
    const std::string& body() const;
    // The answer's Retry-After value, trimmed; empty when it had none.
    const std::string& retryAfter() const { return m_retryAfter; }
    void setRetryAfter(std::string value) { m_retryAfter = std::move(value); }

private:
    int m_code;
    std::string m_statusLine;
    mutable std::string m_body;
    mutable bool m_decoded = true;
    bool m_utf8 = false;
    std::string m_retryAfter;
};

// An HTTP/1.1 client for exactly one GET of an absolute "http" or "https" address (the
// certificate always verified, see Tls.h), directly or through a proxy: no compression or cache. Create one per fetch, change at most the three
// settings callers change, fetch once, discard. Owns its socket, so it is not copyable.
class THttpClient {
public:
    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // Sent as the User-Agent line; an empty text sends no such line.
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    // Follow redirect answers (off: a redirect is an HttpStatusError).
    bool HandleRedirects = false;
    // After this many redirect answers the fetch ends with an empty body, no failure.
    int RedirectMaximum = 15;
    // Milliseconds any one wait for data may last; unset waits indefinitely.
    std::optional<int> ReadTimeout;
    // Milliseconds a connect may last; unset leaves it to the system (minutes). A connect
    // that runs out fails with "Socket Error # 110\r\nConnection timed out.".
    std::optional<int> ConnectTimeout;
    // Keep the cookies a fetch receives and send them on its later requests.
    bool AllowCookies = true;
    std::string ProtocolVersion = "1.1";
    // Sent as the Accept line (an RDAP server wants "application/rdap+json").
    std::string Accept = "text/html, */*";
    // The largest body taken; a larger one fails with "Response body too large." (kind TooLarge).
    static constexpr std::size_t kDefaultMaxBodyBytes = std::size_t{64} << 20;
    std::size_t MaxBodyBytes = kDefaultMaxBodyBytes;
    // Called on the fetch's thread as a body of announced length arrives, with the bytes
    // so far and that length; it must not raise.
    std::function<void(std::uint64_t received, std::uint64_t total)> Progress;
    // Which proxy each fetch goes through (Proxy.h); the process's default rules unless
    // changed. A proxy's own failure raises NetError of kind Proxy ("proxy: ...").
    ProxyRules Proxy = defaultProxyRules();
    // Sent on every request after the client's own lines; an Accept or Accept-Encoding
    // here replaces the client's. A gzip answer is decoded whatever was asked.
    std::vector<std::pair<std::string, std::string>> ExtraHeaders;
    // Milliseconds the whole fetch may last, redirects and every wait included, whatever
    // the server sends; past it the fetch fails with "Fetch deadline exceeded." (kind Deadline). Unset: no
    // bound. A last line of defence beside ReadTimeout, which bounds only single waits.
    std::optional<int> FetchTimeout = kDefaultFetchTimeoutMs;
    static constexpr int kDefaultFetchTimeoutMs = 120000;

    // Stream form: appends the final body's bytes to buffer (undecoded). On a failure the
    // buffer holds nothing usable. Raises NetError (HttpStatusError for an answer that is not a success).
    void FetchPage(const std::string& url, std::string& buffer);

    // String form: the body as UTF-8 text, decoded as UTF-8 when the Content-Type's
    // charset is "UTF-8" or "UTF8" (any case), else one character per byte.
    // Raises NetError (HttpStatusError for an answer that is not a success).
    std::string FetchPage(const std::string& url);

    // The status line of the last fetch's final answer; empty before one arrived.
    const std::string& lastStatusLine() const;
    // The Content-Type of the last fetch's final answer; empty when it had none.
    const std::string& lastContentType() const;
    // The Location of every redirect answer the last fetch met, followed or not, in order.
    const std::vector<std::string>& lastLocations() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads a stream-form buffer back as text in the program's code page (GBK).
std::string readAnsi(const std::string& buffer);

} // namespace kaldrani::net
