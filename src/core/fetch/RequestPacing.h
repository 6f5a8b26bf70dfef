#pragma once

#include <string>

namespace kaldrani::fetch {

// Spaces the requests a run makes to each host. Called from any thread the run uses.
class RequestPacer {
public:
    virtual ~RequestPacer() = default;
    // Returns when a request to host may start.
    virtual void beforeRequest(const std::string& host) = 0;
    // The request to host ended; refused when the host answered 429 or 503.
    virtual void afterRequest(const std::string& host, bool refused) = 0;
};

// Routes the query fetches of this thread through pacer while it lives; nests.
class PacedThread {
public:
    explicit PacedThread(RequestPacer& pacer);
    ~PacedThread();
    PacedThread(const PacedThread&) = delete;
    PacedThread& operator=(const PacedThread&) = delete;

private:
    RequestPacer* m_previous;
};

// One query fetch, told to the thread's pacer (if any): waits in the constructor, reports
// in the destructor.
class PacedRequest {
public:
    explicit PacedRequest(const std::string& url);
    ~PacedRequest();
    PacedRequest(const PacedRequest&) = delete;
    PacedRequest& operator=(const PacedRequest&) = delete;

    // The fetch ended in an HTTP answer with this status.
    void answered(int status) { m_refused = status == 429 || status == 503; }

private:
    RequestPacer* m_pacer;
    std::string m_host;
    bool m_refused = false;
};

// Returns when at least intervalMs have passed since the previous request of the process
// to url's host that came through here (at once for 0 or the first); callers queue, each
// in its own slot.
void keepHostInterval(const std::string& url, int intervalMs);

} // namespace kaldrani::fetch
