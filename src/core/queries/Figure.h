#pragma once

#include "core/fetch/Outcome.h"
#include "core/model/CountKind.h"

#include <string>

namespace kaldrani::queries {

// One count of the overview as shown: the text, why its query failed (empty when it
// did not), and how.
struct Figure {
    std::string text;
    std::string why;
    fetch::FailureKind failure = fetch::FailureKind::Plain;

    bool operator==(const Figure&) const = default;
};

// Names one of the fourteen counts: an engine and a kind.
struct FigureId {
    SearchEngine engine;
    CountKind kind;

    bool operator==(const FigureId&) const = default;
};

} // namespace kaldrani::queries
