#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/records/TrackedKeywords.h"
#include "core/tracking/DesktopNotice.h"
#include "core/tracking/KeywordScanRecord.h"
#include "core/tracking/TrackLock.h"
#include "core/tracking/TrackRun.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

namespace kaldrani::cli {

namespace {

std::vector<std::string> splitList(const std::string& list)
{
    std::vector<std::string> items;
    std::string_view rest = list;
    for (bool more = !list.empty(); more;) {
        const auto comma = rest.find(',');
        items.emplace_back(rest.substr(0, comma));
        more = comma != std::string_view::npos;
        if (more)
            rest.remove_prefix(comma + 1);
    }
    return items;
}

// Each site once, in its first place.
std::vector<std::string> unique(const std::vector<std::string>& sites)
{
    std::vector<std::string> out;
    for (const auto& s : sites)
        if (std::find(out.begin(), out.end(), s) == out.end())
            out.push_back(s);
    return out;
}

// A number from min to max; NaN compares false with both bounds, so CLI::Range lets it by.
CLI::Validator finiteRange(double min, double max)
{
    return CLI::Validator(
        [min, max](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value < min || value > max)
                return "Value " + text + " not in range [" + CLI::detail::to_string(min) + " - "
                       + CLI::detail::to_string(max) + "]";
            return {};
        },
        "FLOAT in [" + CLI::detail::to_string(min) + " - " + CLI::detail::to_string(max) + "]");
}

std::chrono::milliseconds millis(double seconds)
{
    return std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000)));
}

} // namespace

Verb addTrackVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "track", "Run the overview and a scan of each tracked keyword for every listed site, keep both histories "
                 "and print what changed since the previous records");
    struct Args {
        std::string sites;
        int last = 5;
        double delay = 2;
        double maxDelay = 60;
        int jobs = 4;
        double countChange = 10;
        int positionChange = 3;
        bool tsv = false;
        bool noWait = false;
        bool notify = false;
    };
    auto args = std::make_shared<Args>();
    command->add_option("--sites", args->sites, "Only these listed sites, comma-separated, in this order")
        ->option_text("LIST");
    command->add_option("--last", args->last, "Scan keywords on result pages 1..N (default 5)")
        ->check(CLI::Range(1, 100))
        ->option_text("N");
    command->add_option("--delay", args->delay, "Seconds between two requests to one host (default 2)")
        ->check(finiteRange(0.0, 3600.0))
        ->option_text("SECONDS");
    command->add_option("--max-delay", args->maxDelay,
                        "The bound of the delay, which doubles after each refusal (429, 503) (default 60)")
        ->check(finiteRange(0.0, 3600.0))
        ->option_text("SECONDS");
    command->add_option("--jobs", args->jobs, "Hosts asked at the same time, 1..8 (default 4)")
        ->check(CLI::Range(1, 8))
        ->option_text("N");
    command->add_option("--count-change", args->countChange,
                        "Percent by which indexed pages or backlinks must change to be told (default 10)")
        ->check(finiteRange(0.0, 1000000.0))
        ->option_text("PERCENT");
    command->add_option("--position-change", args->positionChange,
                        "Places a keyword position must move to be told (default 3)")
        ->check(CLI::Range(1, 1000))
        ->option_text("N");
    command->add_flag("--tsv", args->tsv,
                      "Print SITE, WHAT, KEYWORD, ENGINE, BEFORE, AFTER, REASON, TAB-separated");
    command->add_flag("--no-wait", args->noWait, "Exit with status 3 when another track run is in progress");
    command->add_flag("--notify", args->notify, "Show a desktop notice when something moved");

    return {command, [args, &options]() -> int {
                const records::DataFolder folder = openDataFolder(options);
                std::vector<std::string> listed;
                std::vector<records::TrackedKeyword> tracked;
                try {
                    listed = records::loadSiteList(folder);
                    tracked = records::loadTrackedKeywords(folder);
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                }
                tracking::TrackOptions run;
                if (args->sites.empty()) {
                    run.sites = unique(listed);
                } else {
                    run.sites = unique(splitList(args->sites));
                    for (const auto& s : run.sites)
                        if (std::find(listed.begin(), listed.end(), s) == listed.end())
                            throw CommandFailure(2, "kaldrani-cli: \"" + s + "\" in --sites is not in the site list");
                }
                run.lastPage = args->last;
                run.delay = millis(args->delay);
                run.maxDelay = millis(std::max(args->maxDelay, args->delay));
                run.jobs = args->jobs;
                run.thresholds = {args->countChange, args->positionChange};

                std::unique_ptr<tracking::TrackLock> lock;
                try {
                    try {
                        lock = std::make_unique<tracking::TrackLock>(folder, tracking::TrackLock::Wait::No);
                    } catch (const std::runtime_error& e) {
                        if (dynamic_cast<const records::FileError*>(&e))
                            throw;
                        if (args->noWait)
                            throw CommandFailure(3, std::string("kaldrani-cli: ") + e.what());
                        std::cerr << "kaldrani-cli: waiting for the track run in progress to end" << std::endl;
                        lock = std::make_unique<tracking::TrackLock>(folder, tracking::TrackLock::Wait::Yes);
                    }
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                }

                const tracking::TrackReport report = tracking::runTrack(folder, listed, tracked, run, tracking::epochNow);
                std::string out;
                for (const auto& line : report.lines)
                    out += (args->tsv ? tracking::changeTsv(line) : terminalText(tracking::changeText(line), false))
                         + '\n';
                writeStdout(out);
                if (args->notify) {
                    // A click on the notice opens the history in the window program.
                    const std::string why
                        = tracking::showNotice(tracking::noticeOf(report), {"kaldrani", "--show-history"});
                    if (!why.empty())
                        std::cerr << "kaldrani-cli: no desktop notice: " << terminalText(why, false) << "\n";
                }
                return report.anyFailed() ? 1 : 0;
            }};
}

} // namespace kaldrani::cli
