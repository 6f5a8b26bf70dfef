#pragma once

#include "core/fetch/Outcome.h"

namespace kaldrani::queries {

// Where one engine's results for a keyword name the site: the 1-based position of the
// first result that does, or 0 when none in the pages asked does.
struct KeywordResult {
    long long position = 0;

    bool operator==(const KeywordResult&) const = default;
};

// What one engine's keyword scan came to; a failed scan's value is position 0.
using KeywordOutcome = fetch::Outcome<KeywordResult>;

// The ways a scan can end, for the places that show or keep it.
enum class KeywordKind { Position, NotFound, Blocked, Off, Failed };

// The scan's kind: Off for an engine switched off or retired (nothing was asked), Blocked
// for a refusal, Failed for any other failure.
inline KeywordKind keywordKind(const KeywordOutcome& outcome)
{
    if (outcome.failed()) {
        switch (outcome.failure->kind) {
        case fetch::FailureKind::Blocked: return KeywordKind::Blocked;
        case fetch::FailureKind::SwitchedOff:
        case fetch::FailureKind::Retired: return KeywordKind::Off;
        case fetch::FailureKind::Plain: break;
        }
        return KeywordKind::Failed;
    }
    return outcome.value.position > 0 ? KeywordKind::Position : KeywordKind::NotFound;
}

} // namespace kaldrani::queries
