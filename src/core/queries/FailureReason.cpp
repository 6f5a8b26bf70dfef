#include "core/queries/FailureReason.h"

#include "core/net/HttpClient.h"

namespace kaldrani::queries {

std::string failureReason(const std::exception_ptr& error, int readTimeoutMs)
{
    try {
        std::rethrow_exception(error);
    } catch (const net::FetchError& e) {
        // An HTTP error answer's message is its status line.
        const std::string message = e.what();
        if (message == "Read timed out.")
            return message + " (no data for " + std::to_string(readTimeoutMs) + " ms)";
        return message;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown failure";
    }
}

} // namespace kaldrani::queries
