#include "core/fetch/FailureReason.h"

#include "core/net/HttpClient.h"

namespace kaldrani::fetch {

namespace {

constexpr std::string_view kBlocked = "blocked: ";

// A server that refuses to answer this client says so by status or by Retry-After
// ([rfc6585] 4, [rfc9110] 10.2.3); such an answer is no "0".
bool isRefusal(const net::HttpStatusError& e)
{
    return e.code() == 429 || e.code() == 403 || !e.retryAfter().empty();
}

// "HTTP/1.1 429 Too Many Requests" -> "429 Too Many Requests".
std::string statusOf(const net::HttpStatusError& e)
{
    const std::string& line = e.statusLine();
    const auto space = line.find(' ');
    return space == std::string::npos ? "status " + std::to_string(e.code()) : line.substr(space + 1);
}

} // namespace

std::string failureReason(const std::exception_ptr& error, int readTimeoutMs)
{
    try {
        std::rethrow_exception(error);
    } catch (const net::HttpStatusError& e) {
        if (isRefusal(e)) {
            std::string why = std::string(kBlocked) + statusOf(e);
            if (!e.retryAfter().empty())
                why += " (Retry-After: " + e.retryAfter() + ")";
            return why;
        }
        // The fetch gives an answer without a status line when none came within the bound.
        if (e.statusLine().empty())
            return "no status line within " + std::to_string(readTimeoutMs) + " ms";
        return e.statusLine();
    } catch (const net::NetError& e) {
        if (e.kind() == net::NetError::Kind::TimedOut)
            return std::string(e.what()) + " (no data for " + std::to_string(readTimeoutMs) + " ms)";
        return e.what();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown failure";
    }
}

std::string refusalOf(const std::string& why)
{
    return why.starts_with(kBlocked) ? why.substr(kBlocked.size()) : why;
}

FailureKind failureKind(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const BlockedPage&) {
        return FailureKind::Blocked;
    } catch (const net::HttpStatusError& e) {
        return isRefusal(e) ? FailureKind::Blocked : FailureKind::Plain;
    } catch (...) {
        return FailureKind::Plain;
    }
}

Failure failureOf(const std::exception_ptr& error, int readTimeoutMs)
{
    std::string why = failureReason(error, readTimeoutMs);
    if (why.empty())
        why = "unknown failure";
    return {failureKind(error), std::move(why)};
}

} // namespace kaldrani::fetch
