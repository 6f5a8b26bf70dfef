#include "StandinServer.h"
#include "CurrentPages.h"

#include "LookupPages.h"
#include "KeywordPages.h"
#include "OverviewPages.h"
#include "RdapPages.h"
#include "StandinTls.h"
#include "core/fetch/Endpoints.h"
#include "core/sys/LoopbackListener.h"
#include "core/sys/UniqueFd.h"
#include "core/text/Ascii.h"
#include "core/text/Encoding.h"
#include "core/text/Markup.h"
#include "core/text/Numbers.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <optional>
#include <stdexcept>
#include <thread>

namespace kaldrani::standin {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;
constexpr int kIdleSeconds = 10;
constexpr std::size_t kMaxLoggedRequests = 10000;


std::string percentDecode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = text::hexDigitValue(text[i + 1]), lo = text::hexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i] == '+' ? ' ' : text[i];
    }
    return out;
}

// The Host header names the service; a port in it is not part of the name.
std::string hostName(std::string_view header)
{
    std::string host = text::asciiLower(text::trimView(header));
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    const auto colon = host.find(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

// [rfc7230] 3.1.1 Request Line, 3.2 Header Fields. Returns false for a head that is not
// a request.
bool parseRequestHead(std::string_view head, Request& request)
{
    const auto lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    const auto sp1 = line.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp1 == std::string_view::npos || sp2 == std::string_view::npos)
        return false;
    request.method = std::string(line.substr(0, sp1));
    request.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    std::string_view target = request.target;
    // An absolute-form target (a proxy request) still names host and path.
    if (target.starts_with("http://")) {
        const auto slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    const auto q = target.find('?');
    request.path = std::string(target.substr(0, q));
    request.query = q == std::string_view::npos ? std::string() : std::string(target.substr(q + 1));

    std::size_t pos = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string_view::npos)
            end = head.size();
        const std::string_view field = head.substr(pos, end - pos);
        pos = end + 2;
        if (field.empty())
            break;
        const auto colon = field.find(':');
        if (colon == std::string_view::npos)
            continue;
        request.headers.emplace_back(text::trimView(field.substr(0, colon)), text::trimView(field.substr(colon + 1)));
    }
    if (const auto host = request.header("Host"))
        request.host = hostName(*host);
    return true;
}

// keepOpen: the answer lets the client send another request on its connection.
std::string serialize(const Response& response, bool keepOpen = false)
{
    if (response.raw)
        return *response.raw;
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    bool hasLength = false, hasConnection = false;
    for (const auto& [name, value] : response.headers) {
        const std::string n = text::asciiLower(name);
        hasLength = hasLength || n == "content-length" || n == "transfer-encoding";
        hasConnection = hasConnection || n == "connection";
        out += name + ": " + value + "\r\n";
    }
    if (!hasLength)
        out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    if (!hasConnection && !keepOpen)
        out += "Connection: close\r\n";
    out += "\r\n";
    out += response.body;
    return out;
}

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

Response notFound(const Request& request)
{
    Response r = utf8Page("<html><body><h1>404 Not Found</h1><p>" + htmlEscape(request.host + request.path)
                          + "</p></body></html>");
    r.status = 404;
    r.reason = "Not Found";
    return r;
}

using RouteKey = std::pair<std::string, std::string>;

} // namespace

std::optional<std::string> Request::header(std::string_view name) const
{
    const std::string wanted = text::asciiLower(name);
    for (const auto& [n, v] : headers)
        if (text::asciiLower(n) == wanted)
            return v;
    return std::nullopt;
}

std::optional<std::string> Request::param(std::string_view key) const
{
    std::string_view rest = query;
    while (true) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const auto eq = pair.find('=');
        if (percentDecode(pair.substr(0, eq)) == key)
            return eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1));
        if (amp == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(amp + 1);
    }
}

Response gbkPage(std::string_view utf8Html)
{
    Response r;
    r.headers = {{"Content-Type", "text/html; charset=gb2312"}};
    r.body = text::utf8ToGbk(utf8Html);
    return r;
}

Response utf8Page(std::string_view utf8Html, std::string_view mediaType)
{
    Response r;
    r.headers = {{"Content-Type", std::string(mediaType) + "; charset=utf-8"}};
    r.body = std::string(utf8Html);
    return r;
}

std::string htmlEscape(std::string_view text)
{
    return text::escapeMarkup(text);
}

struct StandinServer::Impl {
    struct Connection {
        int fd = -1;
        bool tls = false;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    explicit Impl(const StandinOptions& options)
        : listener({.port = options.port, .backlog = 64, .reuseAddress = true}), authority(options.authority),
          redirectToHttps(options.redirectToHttps), latencyMs(options.latencyMs), keepAlive(options.keepAlive)
    {
        if (authority)
            tlsListener.emplace(sys::LoopbackListener::Options{.port = options.tlsPort, .backlog = 64, .reuseAddress = true});
    }

    sys::LoopbackListener listener;
    std::thread acceptThread;
    std::optional<sys::LoopbackListener> tlsListener;
    std::thread tlsAcceptThread;
    StandinAuthority* authority;
    const bool redirectToHttps;
    const int latencyMs;
    const bool keepAlive;
    std::atomic<int> day{0};
    std::atomic<std::size_t> accepted{0};

    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::map<RouteKey, Handler> routes;
    std::map<RouteKey, Response> answers;
    std::string versionBody = "1.6";
    std::vector<Request> received;
    std::list<std::unique_ptr<Connection>> connections;

    void acceptLoop(sys::LoopbackListener& from, bool tls);
    void serve(Connection& connection);
    void answer(Connection& connection, const std::function<size_t(char*, size_t)>& receive,
                const std::function<bool(std::string_view)>& send);
    Response dispatch(const Request& request);
    void reapFinished();
};

void StandinServer::Impl::reapFinished()
{
    std::lock_guard lock(mutex);
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void StandinServer::Impl::acceptLoop(sys::LoopbackListener& from, bool tls)
{
    while (sys::UniqueFd accepted = from.accept()) {
        ++this->accepted;
        reapFinished();
        timeval idle{kIdleSeconds, 0};
        ::setsockopt(accepted.get(), SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
        std::lock_guard lock(mutex);
        if (stopping)
            return;
        auto connection = std::make_unique<Connection>();
        connection->fd = accepted.release();
        connection->tls = tls;
        Connection& c = *connection;
        connections.push_back(std::move(connection));
        c.thread = std::thread([this, &c] { serve(c); });
    }
}

void StandinServer::Impl::serve(Connection& connection)
{
    if (latencyMs > 0) {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, std::chrono::milliseconds(latencyMs), [this] { return stopping; });
    }
    if (connection.tls) {
        TlsChannel channel;
        if (channel.accept(authority->serverContext(), connection.fd, -1, kIdleSeconds * 1000)) {
            answer(
                connection, [&](char* into, size_t size) { return channel.read(into, size); },
                [&](std::string_view bytes) { return channel.write(bytes); });
            channel.shutdown();
        }
    } else {
        answer(
            connection,
            [&](char* into, size_t size) -> size_t {
                for (;;) {
                    const ssize_t n = ::recv(connection.fd, into, size, 0);
                    if (n < 0 && errno == EINTR)
                        continue;
                    return n > 0 ? static_cast<size_t>(n) : 0;
                }
            },
            [&](std::string_view bytes) { return sendAll(connection.fd, bytes); });
    }
    // Let the client read everything before the close, so it never sees a reset.
    ::shutdown(connection.fd, SHUT_WR);
    char chunk[4096];
    pollfd p{connection.fd, POLLIN, 0};
    while (::poll(&p, 1, kIdleSeconds * 1000) > 0 && ::recv(connection.fd, chunk, sizeof chunk, 0) > 0) { }
    {
        std::lock_guard lock(mutex);
        ::close(connection.fd);
        connection.fd = -1;
    }
    connection.done = true;
}

void StandinServer::Impl::answer(Connection& connection, const std::function<size_t(char*, size_t)>& receive,
                                 const std::function<bool(std::string_view)>& send)
{
    std::string pending; // bytes received and not yet taken as a request
    char chunk[4096];
    for (;;) {
        size_t headEnd = pending.find("\r\n\r\n");
        while (headEnd == std::string::npos && pending.size() < kMaxRequestHead) {
            const size_t n = receive(chunk, sizeof chunk);
            if (n == 0)
                break;
            pending.append(chunk, n);
            headEnd = pending.find("\r\n\r\n");
        }
        if (headEnd == std::string::npos)
            return;
        const std::string head = pending.substr(0, headEnd + 2);
        pending.erase(0, headEnd + 4);
        Request request;
        if (!parseRequestHead(head, request)) {
            send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        request.received = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex);
            // A demo session may run for days; the log keeps its newest part only.
            if (received.size() >= kMaxLoggedRequests)
                received.erase(received.begin(), received.begin() + kMaxLoggedRequests / 2);
            received.push_back(request);
        }
        Response response;
        try {
            if (redirectToHttps && !connection.tls) {
                response.status = 301;
                response.reason = "Moved Permanently";
                response.headers = {{"Location", "https://" + request.host + request.target}};
            } else {
                response = dispatch(request);
            }
        } catch (const std::exception& e) {
            response = utf8Page(std::string("<html><body>500 ") + htmlEscape(e.what()) + "</body></html>");
            response.status = 500;
            response.reason = "Internal Server Error";
        }
        bool goOn = true;
        response.delayMs += latencyMs;
        if (response.delayMs > 0) {
            std::unique_lock lock(mutex);
            goOn = !stopped.wait_for(lock, std::chrono::milliseconds(response.delayMs), [this] { return stopping; });
        }
        const auto says = [](const std::optional<std::string>& value, const char* token) {
            return value && text::asciiLower(*value).find(token) != std::string::npos;
        };
        const bool answerSetsConnection =
            std::any_of(response.headers.begin(), response.headers.end(),
                        [](const auto& h) { return text::equalsIgnoreAsciiCase(h.first, "Connection"); });
        // A body would be read as the next request's head; only GETs come here.
        const bool again = keepAlive && !response.raw && !answerSetsConnection && request.method == "GET"
                           && !says(request.header("Connection"), "close") && !request.header("Content-Length")
                           && !request.header("Transfer-Encoding");
        if (!goOn || !send(serialize(response, again)) || !again)
            return;
    }
}

Response StandinServer::Impl::dispatch(const Request& request)
{
    Handler handler;
    {
        std::lock_guard lock(mutex);
        const RouteKey key{request.host, request.path};
        if (const auto it = answers.find(key); it != answers.end())
            return it->second;
        if (const auto it = routes.find(key); it != routes.end())
            handler = it->second;
        // A route whose path ends in "*" serves every path that starts with the rest.
        for (auto it = routes.begin(); !handler && it != routes.end(); ++it) {
            const std::string& path = it->first.second;
            if (it->first.first == request.host && path.ends_with('*')
                && request.path.starts_with(std::string_view(path).substr(0, path.size() - 1)))
                handler = it->second;
        }
    }
    return handler ? handler(request) : notFound(request);
}

StandinServer::StandinServer(int port) : StandinServer(StandinOptions{.port = port}) { }

StandinServer::StandinServer(const StandinOptions& options) : m_impl(std::make_unique<Impl>(options))
{
    Impl& d = *m_impl;
    m_port = d.listener.port();
    m_tlsPort = d.tlsListener ? d.tlsListener->port() : 0;

    // Each group of services installs its pages here.
    addOverviewRoutes(*this);
    addLookupRoutes(*this);
    addRdapRoutes(*this);
    addKeywordRoutes(*this);
    if (options.world == World::Current)
        addCurrentRoutes(*this);
    addRoute(endpoints::kMaker, "/version.html", [&d](const Request&) {
        std::lock_guard lock(d.mutex);
        return utf8Page(d.versionBody, "text/plain");
    });

    d.acceptThread = std::thread([&d] { d.acceptLoop(d.listener, false); });
    if (d.tlsListener)
        d.tlsAcceptThread = std::thread([&d] { d.acceptLoop(*d.tlsListener, true); });
}

StandinServer::~StandinServer()
{
    stop();
}

void StandinServer::addRoute(std::string_view host, std::string path, Handler handler)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->routes[{hostName(host), std::move(path)}] = std::move(handler);
}

Handler StandinServer::route(std::string_view host, const std::string& path) const
{
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->routes.find({hostName(host), path});
    return it == m_impl->routes.end() ? Handler() : it->second;
}

void StandinServer::setAnswer(std::string_view host, std::string path, Response response)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->answers[{hostName(host), std::move(path)}] = std::move(response);
}

void StandinServer::clearAnswers()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->answers.clear();
}

void StandinServer::setDay(int day)
{
    m_impl->day = day;
}

int StandinServer::day() const
{
    return m_impl->day;
}

void StandinServer::setVersionBody(std::string body)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->versionBody = std::move(body);
}

std::size_t StandinServer::connectionsAccepted() const
{
    return m_impl->accepted;
}

std::vector<Request> StandinServer::requests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received;
}

void StandinServer::clearRequests()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->received.clear();
}

void StandinServer::stop()
{
    Impl& d = *m_impl;
    {
        std::lock_guard lock(d.mutex);
        if (d.stopping)
            return;
        d.stopping = true;
        for (const auto& c : d.connections)
            if (c->fd >= 0)
                ::shutdown(c->fd, SHUT_RDWR);
    }
    d.stopped.notify_all();
    d.listener.wake();
    if (d.tlsListener)
        d.tlsListener->wake();
    if (d.acceptThread.joinable())
        d.acceptThread.join();
    if (d.tlsAcceptThread.joinable())
        d.tlsAcceptThread.join();
    std::list<std::unique_ptr<Impl::Connection>> connections;
    {
        std::lock_guard lock(d.mutex);
        connections.swap(d.connections);
    }
    for (auto& c : connections)
        c->thread.join();
}

} // namespace kaldrani::standin
