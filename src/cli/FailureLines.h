#pragma once

#include "core/fetch/Outcome.h"
#include "core/queries/SiteOverviewRun.h"

#include <string>
#include <string_view>

namespace kaldrani::cli {

// One line per failed figure of the display, in the order of the result lines: the engine
// or rank label, TAB, "收录情况" or "反向链接" (empty for a rank), TAB, the reason on one
// line. Empty when nothing failed.
std::string failureLines(const queries::OverviewDisplay& display);

// The line failureLines makes for one figure: label, TAB, figure, TAB, the reason on one
// line, LF. Empty when why is empty.
std::string failureLine(std::string_view label, std::string_view figure, const std::string& why);

// The command line's name of the traffic-rank slot: "AlexaRank", or the label the profile
// gives the service now in it followed by "Rank" ("TrancoRank").
std::string trafficRankLabel();

// A query failed or was refused; one the profile switched off (or retired) did not fail.
bool countsAsFailed(fetch::FailureKind failure, const std::string& why);

// Some figure of the display failed, as countsAsFailed says: the overview's exit status.
bool anyFailed(const queries::OverviewDisplay& display);

// The reason on one line, terminal controls shown escaped, then LF; empty when why is.
std::string reasonLine(const std::string& why);

} // namespace kaldrani::cli
