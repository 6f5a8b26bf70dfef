#include "core/fetch/FailureReason.h"
#include "core/net/HttpClient.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kaldrani::testing {
namespace {

TEST(FailureReason, SaysWhatWentWrongInTheSystemsOwnWords)
{
    struct Case {
        const char* name;
        std::exception_ptr error;
        const char* reason;
    };
    const Case cases[] = {
        {"refused", std::make_exception_ptr(net::NetError(net::NetError::Kind::Socket, "Socket Error # 111\r\nConnection refused.")),
         "Socket Error # 111\r\nConnection refused."},
        {"HTTP error", std::make_exception_ptr(net::HttpStatusError(503, "HTTP/1.1 503 Service Unavailable", "")),
         "HTTP/1.1 503 Service Unavailable"},
        {"status line missing", std::make_exception_ptr(net::HttpStatusError(-1, "", "")),
         "no status line within 2000 ms"},
        {"time-out", std::make_exception_ptr(net::NetError::timedOut()), "Read timed out. (no data for 2000 ms)"},
        // The kind decides, not the words: another kind with the same text gets no bound.
        {"same text, other kind", std::make_exception_ptr(net::NetError(net::NetError::Kind::Closed, "Read timed out.")),
         "Read timed out."},
        {"deadline", std::make_exception_ptr(net::NetError(net::NetError::Kind::Deadline, "Fetch deadline exceeded.")),
         "Fetch deadline exceeded."},
        {"no figure", std::make_exception_ptr(fetch::MissingFigure("no count on the page")),
         "no count on the page"},
        {"anything else", std::make_exception_ptr(std::runtime_error("bad pattern")), "bad pattern"},
        {"not even an exception", std::make_exception_ptr(42), "unknown failure"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetch::failureReason(c.error, 2000), c.reason);
    }
}

} // namespace
} // namespace kaldrani::testing
