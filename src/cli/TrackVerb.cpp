#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/net/Proxy.h"
#include "core/records/TrackedKeywords.h"
#include "core/text/Ascii.h"
#include "core/tracking/DesktopNotice.h"
#include "core/tracking/HealthChanges.h"
#include "core/tracking/KeywordScanRecord.h"
#include "core/tracking/TrackLock.h"
#include "core/tracking/TrackRun.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <iostream>
#include <optional>
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

// Makes the proxies of file the run's rotation. Raises CommandFailure 2 naming the line of
// an address that does not read.
void useProxyList(const std::string& file)
{
    std::ifstream in(file);
    if (!in)
        throw CommandFailure(2, "kaldrani-cli: cannot read the proxy list \"" + file + "\"");
    std::vector<net::ProxyAddress> proxies;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view entry = text::trimView(line);
        if (entry.empty() || entry.front() == '#')
            continue;
        try {
            proxies.push_back(net::parseProxyUrl(std::string(entry)));
        } catch (const std::invalid_argument& e) {
            throw CommandFailure(2, "kaldrani-cli: " + file + ":" + std::to_string(number) + ": " + e.what());
        }
    }
    if (proxies.empty())
        throw CommandFailure(2, "kaldrani-cli: the proxy list \"" + file + "\" holds no proxy");
    net::ProxyRules rules = net::defaultProxyRules();
    rules.rotation = std::make_shared<net::ProxyRotation>(std::move(proxies), [](const net::ProxyAddress& proxy, const std::string& why) {
        std::cerr << "kaldrani-cli: proxy " + proxy.display() + " set aside for this run: " + terminalText(why, false) + "\n";
    });
    net::setDefaultProxyRules(std::move(rules));
}

// The line on a terminal's stderr that says where a run stands, redrawn each second so
// the wait it shows keeps counting; cleared at the end.
class ProgressLine {
public:
    ProgressLine() : m_thread([this] { redraw(); }) { }
    ~ProgressLine()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
        std::cerr << "\r\x1b[K" << std::flush;
    }
    void update(const tracking::TrackProgress& p)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_progress = p;
        }
        m_wake.notify_all();
    }

private:
    void redraw()
    {
        std::unique_lock lock(m_mutex);
        while (!m_done) {
            const tracking::TrackProgress& p = m_progress;
            std::string line = "sites " + std::to_string(p.sitesDone) + "/" + std::to_string(p.sites) + ", queries "
                               + std::to_string(p.queriesDone) + "/" + std::to_string(p.queries);
            if (!p.waitingFor.empty()) {
                const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - p.since);
                line += ", waiting for " + terminalText(p.waitingFor, false) + " " + std::to_string(waited.count()) + " s";
            }
            std::cerr << "\r\x1b[K" << line << std::flush;
            m_wake.wait_for(lock, std::chrono::seconds(1));
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    tracking::TrackProgress m_progress;
    bool m_done = false;
    std::thread m_thread;
};

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
        bool health = false;
        int domainDays = 30;
        int certificateDays = 14;
        std::string proxies;
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
    command->add_flag("--health", args->health,
                      "Also check each site's health as the health verb does, and tell a domain or certificate "
                      "about to expire, a certificate that does not verify and a name that does not resolve");
    command->add_option("--domain-days", args->domainDays,
                        "With --health, tell a domain that expires within N days (default 30)")
        ->check(CLI::Range(0, 3650))
        ->option_text("N");
    command->add_option("--certificate-days", args->certificateDays,
                        "With --health, tell a certificate that expires within N days (default 14)")
        ->check(CLI::Range(0, 3650))
        ->option_text("N");
    command->add_option("--proxies", args->proxies,
                        "Spread the hosts over the proxies of FILE (one URL a line), in turn; one that cannot "
                        "be connected to is set aside")
        ->option_text("FILE");

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
                if (!args->proxies.empty())
                    useProxyList(args->proxies);

                std::optional<tracking::TrackLock> lock;
                try {
                    lock = tracking::TrackLock::tryTake(folder);
                    if (!lock) {
                        if (args->noWait)
                            throw CommandFailure(3, "kaldrani-cli: another track run of this data folder is in progress");
                        std::cerr << "kaldrani-cli: waiting for the track run in progress to end" << std::endl;
                        lock.emplace(folder);
                    }
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                }

                std::optional<ProgressLine> progress;
                if (::isatty(STDERR_FILENO) == 1) {
                    progress.emplace();
                    run.progress = [&progress](const tracking::TrackProgress& p) { progress->update(p); };
                }
                tracking::TrackReport report = tracking::runTrack(folder, listed, tracked, run, tracking::epochNow);
                progress.reset();
                if (args->health) {
                    const std::int64_t today = lookups::today();
                    for (const std::string& site : run.sites)
                        for (tracking::ChangeLine& line : tracking::healthChanges(
                                 site, lookups::checkSite(site, today), {args->domainDays, args->certificateDays}))
                            report.lines.push_back(std::move(line));
                }
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
