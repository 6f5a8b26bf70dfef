#include "core/fetch/FailureReason.h"

#include "core/net/HttpClient.h"

namespace kaldrani::fetch {

std::string failureReason(const std::exception_ptr& error, int readTimeoutMs)
{
    try {
        std::rethrow_exception(error);
    } catch (const net::HttpStatusError& e) {
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

} // namespace kaldrani::fetch
