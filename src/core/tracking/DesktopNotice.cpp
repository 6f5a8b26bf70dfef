#include "core/tracking/DesktopNotice.h"

#include "core/text/Markup.h"
#include "core/tracking/Spawn.h"

#include <cstdlib>

namespace kaldrani::tracking {

namespace {

constexpr std::chrono::milliseconds kNoticeBound{10000};

} // namespace

Notice noticeOf(const TrackReport& report, std::size_t maxLines)
{
    Notice notice;
    std::size_t moved = 0;
    for (const auto& line : report.lines) {
        if (!line.moved)
            continue;
        ++moved;
        if (notice.lines.size() < maxLines)
            notice.lines.push_back(changeText(line));
    }
    if (moved == 0)
        return notice;
    // A desktop notice is read by the window's users: in the windows' language.
    notice.title = "Kaldrani：" + std::to_string(moved) + " 项变化";
    if (moved > notice.lines.size())
        notice.lines.push_back("……另有 " + std::to_string(moved - notice.lines.size()) + " 项");
    return notice;
}

std::string showNotice(const Notice& notice, const std::vector<std::string>& onClick)
{
    if (notice.lines.empty())
        return {};
    try {
        std::string body;
        for (const auto& line : notice.lines) {
            if (!body.empty())
                body += '\n';
            body += text::escapeMarkup(line);
        }
        // notify-send prints the notice's id through stdio, held back in a pipe until it
        // ends unless its output is line-buffered.
        if (!onClick.empty())
            return spawnDetachedAndFollow({"stdbuf", "-oL", "notify-send", "--app-name=Kaldrani", "--icon=kaldrani", "--expire-time=0",
                                           "--print-id", "--action=default=查看记录", "--", notice.title, body},
                                          "default", onClick, kNoticeBound);
        const SpawnResult r = spawnAndWait({"notify-send", "--app-name=Kaldrani", "--icon=kaldrani",
                                            "--expire-time=0", "--", notice.title, body},
                                           kNoticeBound);
        if (!r.started)
            return "notify-send could not be started";
        if (r.exitCode != 0)
            return "notify-send failed: " + r.out;
        return {};
    } catch (...) {
        return "the notice could not be shown";
    }
}

} // namespace kaldrani::tracking
