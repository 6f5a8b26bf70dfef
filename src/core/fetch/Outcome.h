#pragma once

#include <string>

namespace kaldrani::fetch {

// What a query gives back: its value (the failure value when it failed), and why it
// failed, for the user; why is empty exactly when the query did not fail.
template <class T>
struct Outcome {
    T value{};
    std::string why;

    bool failed() const { return !why.empty(); }
    bool operator==(const Outcome&) const = default;
};

} // namespace kaldrani::fetch
