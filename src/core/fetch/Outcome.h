#pragma once

#include <string>

namespace kaldrani::fetch {

// How a failed query failed, beside why: most failures are Plain; Blocked when the service
// refused to answer (a 429, a verification page), SwitchedOff when the user's profile
// switched it off and nothing was asked.
enum class Failure { Plain, Blocked, SwitchedOff };

// What a query gives back: its value (the failure value when it failed), and why it
// failed, for the user; why is empty exactly when the query did not fail.
template <class T>
struct Outcome {
    T value{};
    std::string why;
    Failure failure = Failure::Plain;

    bool failed() const { return !why.empty(); }
    bool operator==(const Outcome&) const = default;
};

} // namespace kaldrani::fetch
