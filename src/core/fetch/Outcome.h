#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kaldrani::fetch {

// How a failed query failed: most failures are Plain; Blocked when the service refused to
// answer (a 429, a verification page), SwitchedOff when the user's profile switched it off
// and nothing was asked; Retired when the profile says the service is gone, and nothing was
// asked either.
enum class FailureKind { Plain, Blocked, SwitchedOff, Retired };

// Why a query failed: how, and the reason for the user, which is never empty.
struct Failure {
    FailureKind kind = FailureKind::Plain;
    std::string reason;

    bool operator==(const Failure&) const = default;
};

// What a figure's place shows for a retired service instead of its failure value.
inline constexpr std::string_view kRetiredShown = "已停用";

// What a query gives back: its value (the failure value when it failed), and its failure
// when it failed.
template <class T>
struct Outcome {
    T value{};
    std::optional<Failure> failure;

    bool failed() const { return failure.has_value(); }
    // The failure's reason; empty when the query did not fail.
    std::string why() const { return failure ? failure->reason : std::string(); }
    // The failure's kind; Plain when the query did not fail.
    FailureKind kind() const { return failure ? failure->kind : FailureKind::Plain; }

    bool operator==(const Outcome&) const = default;
};

} // namespace kaldrani::fetch
