#pragma once

#include "core/fetch/Outcome.h"

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

// Raised inside a query whose page is a refusal rather than an answer (a verification or
// captcha page); the message is the reason ("blocked: verification page").
class BlockedPage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why a query failed, for the user: the status line of an HTTP error answer, the fetch's
// own message ("Socket Error # 111\r\nConnection refused."), a read time-out with its
// bound ("Read timed out. (no data for 2000 ms)", "no status line within 2000 ms"), a
// refusal ("blocked: 429 Too Many Requests"), or any other failure's message.
std::string failureReason(const std::exception_ptr& error, int readTimeoutMs);

// The refusal a blocked reason names, without its "blocked: " ("verification page").
std::string refusalOf(const std::string& why);

// FailureKind::Blocked for a refusal: a BlockedPage, or an answer of status 429 or 403 or
// one that carries Retry-After; FailureKind::Plain for anything else.
FailureKind failureKind(const std::exception_ptr& error);

// The failure error stands for: its failureKind and its failureReason ("unknown failure"
// where that would be empty).
Failure failureOf(const std::exception_ptr& error, int readTimeoutMs);

} // namespace kaldrani::fetch
