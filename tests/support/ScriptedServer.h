#pragma once

#include "core/sys/LoopbackListener.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A loopback HTTP-ish server for tests: binds 127.0.0.1 on port 0, reads each request
// head, records its bytes and answers with canned bytes, then keeps the connection,
// closes it, resets it, or stalls until the client goes away. It serves one connection
// at a time, on a thread of its own.
namespace kaldrani::testing {

struct Reply {
    enum class Then {
        KeepOpen, // serve the next request on this connection
        Close,    // close the connection after the answer
        Reset,    // abort the connection (the client sees a reset)
        Stall,    // send nothing more; hold the connection until the client closes it
    };
    // Written in order, each piece its own write with a short gap between pieces.
    std::vector<std::string> pieces;
    Then then = Then::Close;
};

// An answer of one piece.
Reply reply(std::string bytes, Reply::Then then = Reply::Then::Close);

// A whole "200 OK" answer: extra header lines (each ending in CRLF), the body's length, the body.
std::string okAnswer(const std::string& body, const std::string& extra = "");

// text with each bare line feed made CRLF, as line protocols send it.
std::string crlfLines(const std::string& text);

class ScriptedServer {
public:
    // Decides the answer to each request head (its bytes as received); no answer closes
    // the connection unanswered.
    using Handler = std::function<std::optional<Reply>(const std::string& request)>;

    // Answers the requests with the replies in order, whatever connection they arrive on;
    // once they are used up, further connections are closed unanswered.
    // A request ends at requestEnd: an HTTP head's empty line, or "\r\n" for a whois query.
    explicit ScriptedServer(std::vector<Reply> replies, int pieceGapMs = 10, std::string requestEnd = "\r\n\r\n");
    explicit ScriptedServer(Handler handler, int pieceGapMs = 10, std::string requestEnd = "\r\n\r\n");
    // Stops serving: a stalled or waiting connection is closed.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return m_listener.port(); }
    // "http://127.0.0.1:PORT" followed by target.
    std::string url(std::string_view target = "/") const;

    // The request heads received so far, in order.
    std::vector<std::string> requests() const;
    // For each request, the number of the connection it came on (from 0).
    std::vector<int> requestConnections() const;
    // How many connections were accepted.
    int connections() const;

private:
    void serve();
    void serveConnection(int fd, int number);
    // Reads one request head into request; false when the client closed or we stop.
    bool readRequest(int fd, std::string& request);
    // Writes bytes unless the client goes away or the server stops; false then.
    bool sendAll(int fd, const std::string& bytes);
    // Waits for the client to close fd or the server to stop.
    void waitForClose(int fd);

    Handler m_handler;
    int m_pieceGapMs;
    std::string m_requestEnd;
    sys::LoopbackListener m_listener;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<int> m_requestConnections;
    int m_connections = 0;
    std::string m_pending; // bytes read past the last request head
    std::thread m_thread;
};

} // namespace kaldrani::testing
