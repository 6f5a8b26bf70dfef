#pragma once

#include <string>
#include <string_view>

namespace kaldrani::fetch {

// How a failed query failed, beside why: most failures are Plain; Blocked when the service
// refused to answer (a 429, a verification page), SwitchedOff when the user's profile
// switched it off and nothing was asked; Retired when the profile says the service is gone,
// and nothing was asked either.
enum class Failure { Plain, Blocked, SwitchedOff, Retired };

// What a figure's place shows for a retired service instead of its failure value.
inline constexpr std::string_view kRetiredShown = "已停用";

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
