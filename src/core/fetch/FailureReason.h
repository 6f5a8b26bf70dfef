#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace kaldrani::fetch {

// Raised inside a query whose page was fetched but holds no figure where the pattern
// looks; the message says which ("no count on the page").
class MissingFigure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why a query failed, for the user: the status line of an HTTP error answer, the fetch's
// own message ("Socket Error # 111\r\nConnection refused."), a read time-out with its
// bound ("Read timed out. (no data for 2000 ms)", "no status line within 2000 ms"), or any
// other failure's message.
std::string failureReason(const std::exception_ptr& error, int readTimeoutMs);

} // namespace kaldrani::fetch
