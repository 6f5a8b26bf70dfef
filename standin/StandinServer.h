#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on loopback that takes the place of the web services the
// program asks. It dispatches on the Host header and the path, so one port serves every
// host once the connections are pointed at it.
namespace kaldrani::standin {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as received.
struct Request {
    std::string method;
    std::string target; // as sent: path, "?" and query
    std::string path;
    std::string query;  // after the "?", undecoded
    std::string host;   // the Host header, lower case, without a port
    HeaderList headers;
    // When the whole request head had arrived.
    std::chrono::steady_clock::time_point received{};

    // The value of the first header of that name (any case), or nothing.
    std::optional<std::string> header(std::string_view name) const;
    // The percent-decoded value of the first query key of that name, or nothing.
    std::optional<std::string> param(std::string_view key) const;
};

// One answer. Content-Length and "Connection: close" are added unless headers set them.
struct Response {
    int status = 200;
    std::string reason = "OK";
    HeaderList headers;
    std::string body; // bytes, sent as they are
    // Milliseconds to wait before sending anything (a stop ends the wait early).
    int delayMs = 0;
    // When set, these bytes are sent instead of a well-formed answer.
    std::optional<std::string> raw;
};

using Handler = std::function<Response(const Request&)>;

// A page in GBK with a charset header, as the stream-form queries read it. Takes UTF-8.
Response gbkPage(std::string_view utf8Html);
// A page in UTF-8 with "charset=utf-8" in its Content-Type, as the string-form queries read it.
Response utf8Page(std::string_view utf8Html, std::string_view mediaType = "text/html");

// Escapes &, <, > and " so that text taken from a request cannot open markup.
std::string htmlEscape(std::string_view text);

class StandinAuthority;

// Which services the stand-in plays: those the classic profile asks, in their pages of
// about 2008, or those of today over them (CurrentPages.h).
enum class World { Classic, Current };

struct StandinOptions {
    // Plain HTTP on 127.0.0.1:port (0: a free port the system picks).
    int port = 0;
    // When set, HTTPS too, on tlsPort (0: a free one), with certificates from authority,
    // which must outlive the server.
    StandinAuthority* authority = nullptr;
    int tlsPort = 0;
    // Plain HTTP answers every request with a redirect to the same address over https, as
    // the real services do.
    bool redirectToHttps = false;
    // Milliseconds added before serving each connection and before each answer, as a
    // distant server's round trips would (for benchmarks).
    int latencyMs = 0;
    // Serve further requests on a connection, as real servers do, when the request does not
    // say "Connection: close", carries no body and the answer is neither raw nor sets its
    // own Connection header. Off: one request per connection, each answer saying close.
    bool keepAlive = false;
    World world = World::Classic;
};

class StandinServer {
public:
    // Binds 127.0.0.1:port (0: a free port the system picks), installs every page of the
    // program's services and starts serving on a thread of its own. Raises
    // std::runtime_error when the socket cannot be bound.
    explicit StandinServer(int port = 0);
    // The same, with HTTPS and the redirect as options say.
    explicit StandinServer(const StandinOptions& options);
    // Stops serving and waits for every connection to end.
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // The ports actually bound; tlsPort() is 0 without HTTPS.
    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }

    // Serves host + path with handler from now on, replacing an earlier route of the same
    // host and path. The host is matched without case and without a port. A path ending in
    // "*" serves, where no route matches exactly, every path starting with the rest.
    void addRoute(std::string_view host, std::string path, Handler handler);
    // The handler serving host + path, or an empty one; lets a group of pages share a path.
    Handler route(std::string_view host, const std::string& path) const;

    // Answers host + path with exactly this response, ahead of any route, until cleared.
    void setAnswer(std::string_view host, std::string path, Response response);
    void clearAnswers();

    // The body of the maker's "/version.html".
    void setVersionBody(std::string body);

    // Which day the pages show (0 at the start): on a later day the indexed counts have
    // grown and the keyword positions moved, as overviewFigures and keywordRank say.
    void setDay(int day);
    int day() const;

    // The requests received so far, in arrival order (the newest 10000 at most).
    std::vector<Request> requests() const;
    void clearRequests();
    // How many connections were accepted so far, plain and TLS.
    std::size_t connectionsAccepted() const;

    // Stops accepting, ends open connections and joins every thread. Safe to call twice.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_port = 0;
    int m_tlsPort = 0;
};

} // namespace kaldrani::standin
