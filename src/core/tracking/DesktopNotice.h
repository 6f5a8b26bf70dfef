#pragma once

#include "core/tracking/TrackRun.h"

#include <string>
#include <vector>

namespace kaldrani::tracking {

// The notice of a run: its title and up to `maxLines` lines of its moved figures; empty
// lines when nothing moved.
struct Notice {
    std::string title;
    std::vector<std::string> lines;
};

// The notice of report: "Kaldrani：N 项变化" and the first moved lines, "……另有 M 项"
// after them when there are more.
Notice noticeOf(const TrackReport& report, std::size_t maxLines = 5);

// Shows the notice through the desktop's notification service (notify-send, on the session
// bus), waiting at most a few seconds. With onClick, the notice offers "查看记录" as its
// default action, and a click on it (where the service offers actions) runs onClick from a
// process of its own that waits for it (see spawnDetachedAndFollow). Returns an empty text
// when it was shown, else why not. Never raises: a notice must never fail a run.
std::string showNotice(const Notice& notice, const std::vector<std::string>& onClick = {});

} // namespace kaldrani::tracking
