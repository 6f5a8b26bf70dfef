#pragma once

#include "core/queries/SiteOverviewRun.h"

#include <string>

namespace kaldrani::cli {

// One line per failed figure of the display, in the order of the result lines: the engine
// or rank label, TAB, "收录情况" or "反向链接" (empty for a rank), TAB, the reason on one
// line. Empty when nothing failed.
std::string failureLines(const queries::OverviewDisplay& display);

} // namespace kaldrani::cli
