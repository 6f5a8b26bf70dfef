#include "core/tracking/TrackRun.h"

#include "core/net/ConnectionPool.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/EngineCount.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/History.h"
#include "core/records/HistoryEntry.h"
#include "core/records/KeywordHistory.h"
#include "core/tracking/HostSpacing.h"
#include "core/tracking/KeywordScanRecord.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

namespace kaldrani::tracking {

namespace {

using What = ChangeLine::What;

// One site's queries and what they gave.
struct SiteRun {
    std::string site;
    bool valid = true;
    std::vector<std::string> keywords;
    std::optional<records::HistoryEntry> previous;
    std::map<std::string, records::KeywordRecord> previousKeywords;
    queries::OverviewDisplay display;
    std::vector<queries::KeywordOutcomes> keywordOutcomes;
    int tasksLeft = 0;
};

// One piece of work: every query of one site to one engine, or its rank services.
struct Task {
    std::size_t site;
    int key; // an engine's index, or kEngineCount for the rank services
    bool started = false;
};

void runEngineTask(SiteRun& s, SearchEngine e, int lastPage)
{
    for (const CountKind k : kCountKinds) {
        fetch::Outcome<std::string> count = queries::QueryEngineCount(e, k, s.site);
        s.display.setFigure({e, k}, {std::move(count.value), count.why(), count.kind()});
    }
    for (std::size_t i = 0; i < s.keywords.size(); ++i) {
        queries::QuietKeywordView view;
        s.keywordOutcomes[i][engineIndex(e)] = queries::FindKeywordPosition(e, s.site, s.keywords[i], 1, lastPage, view);
    }
}

void runRankTask(SiteRun& s)
{
    queries::OverviewDisplay& d = s.display;
    fetch::Outcome<int> pageRank = queries::QueryPageRank(s.site);
    d.pageRank = pageRank.value;
    d.pageRankFailure = pageRank.why();
    d.pageRankFailureKind = pageRank.kind();
    fetch::Outcome<int> rating = queries::QuerySogouRating(s.site);
    d.gaugeValue = std::clamp(rating.value, 0, 100);
    d.sogouRatingFailure = rating.why();
    d.sogouRatingFailureKind = rating.kind();
    fetch::Outcome<std::string> alexa = queries::QueryAlexaRank(s.site);
    d.alexaRank = std::move(alexa.value);
    d.alexaRankFailure = alexa.why();
    d.alexaRankFailureKind = alexa.kind();
    fetch::Outcome<std::string> chinaRank = queries::QueryChinaRank(s.site);
    d.chinaRank = std::move(chinaRank.value);
    d.chinaRankFailure = chinaRank.why();
    d.chinaRankFailureKind = chinaRank.kind();
}

std::tm localTm(std::int64_t epochSeconds)
{
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

void readPrevious(const records::DataFolder& folder, SiteRun& s, std::vector<ChangeLine>& problems)
{
    try {
        const auto records = records::ReadHistory(folder, s.site);
        for (const auto& fields : records)
            if ((s.previous = records::readHistoryEntry(fields)))
                break;
    } catch (const std::exception&) {
        // No history yet: nothing to compare with.
    }
    try {
        for (auto& r : records::readKeywordHistory(folder, s.site).records)
            s.previousKeywords[r.keyword] = std::move(r);
    } catch (const std::exception& e) {
        problems.push_back({s.site, What::History, {}, {}, {}, "fail", e.what(), false});
    }
}

// The site's records written and its lines made.
void finishSite(const records::DataFolder& folder, const std::vector<std::string>& siteItems, SiteRun& s,
                const TrackOptions& options, std::int64_t when, std::vector<ChangeLine>& lines)
{
    if (!s.valid) {
        lines.push_back({s.site, What::Overview, {}, {}, {}, "fail", "not a domain name", false});
        return;
    }
    const queries::OverviewDisplay& d = s.display;
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds) {
            std::optional<std::string> before;
            if (s.previous) {
                const auto& f = s.previous->fields;
                before = k == CountKind::Indexed ? f.indexed[engineIndex(e)] : f.backlinks[engineIndex(e)];
            }
            if (auto line = countChange(s.site, {e, k}, before, d.figure({e, k}), options.thresholds))
                lines.push_back(std::move(*line));
        }
    const std::tuple<What, const std::string*, fetch::FailureKind> ranks[] = {
        {What::PageRank, &d.pageRankFailure, d.pageRankFailureKind},
        {What::SogouRank, &d.sogouRatingFailure, d.sogouRatingFailureKind},
        {What::AlexaRank, &d.alexaRankFailure, d.alexaRankFailureKind},
        {What::ChinaRank, &d.chinaRankFailure, d.chinaRankFailureKind}};
    // A retired service was not asked and did not fail.
    for (const auto& [what, why, kind] : ranks)
        if (!why->empty() && kind != fetch::FailureKind::Retired)
            lines.push_back({s.site, what, {}, {}, {}, "fail", *why, false});

    std::vector<records::KeywordRecord> records;
    // A retired engine is recorded as not asked ("off"), not as a failure every day.
    const queries::EngineSelection all = [] {
        queries::EngineSelection a{};
        for (const SearchEngine e : kSearchEngines)
            a[engineIndex(e)] = profiles::activeService(profiles::keywordService(e))->retired.empty();
        return a;
    }();
    for (std::size_t i = 0; i < s.keywords.size(); ++i) {
        records.push_back(keywordRecordOf(s.keywords[i], 1, options.lastPage, all, s.keywordOutcomes[i], when));
        const auto prev = s.previousKeywords.find(s.keywords[i]);
        const std::optional<records::KeywordRecord> before =
            prev == s.previousKeywords.end() ? std::nullopt : std::optional(prev->second);
        for (auto& line : keywordChanges(s.site, before, records.back(), options.thresholds))
            lines.push_back(std::move(line));
    }

    try {
        const std::tm local = localTm(when);
        for (const auto& item : siteItems)
            if (item == s.site)
                queries::SaveToFile(folder, d, s.site, std::to_string(d.pageRank), local);
        if (!records.empty() && std::find(siteItems.begin(), siteItems.end(), s.site) != siteItems.end())
            records::appendKeywordRecords(folder, s.site, records);
    } catch (const std::exception& e) {
        lines.push_back({s.site, What::History, {}, {}, {}, "fail", e.what(), false});
    }
}

} // namespace

bool TrackReport::anyFailed() const
{
    return std::any_of(lines.begin(), lines.end(), [](const ChangeLine& l) { return !l.reason.empty(); });
}

bool TrackReport::anyMoved() const
{
    return std::any_of(lines.begin(), lines.end(), [](const ChangeLine& l) { return l.moved; });
}

TrackReport runTrack(const records::DataFolder& folder, const std::vector<std::string>& siteItems,
                     const std::vector<records::TrackedKeyword>& tracked, const TrackOptions& options,
                     const std::function<std::int64_t()>& now)
{
    std::vector<SiteRun> sites(options.sites.size());
    std::vector<std::vector<ChangeLine>> problems(sites.size());
    std::vector<Task> tasks;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        SiteRun& s = sites[i];
        s.site = options.sites[i];
        s.valid = !s.site.empty() && queries::IsValidDomain(s.site);
        s.keywords = records::trackedKeywordsOf(tracked, s.site);
        s.keywordOutcomes.resize(s.keywords.size());
        if (!s.valid)
            continue;
        readPrevious(folder, s, problems[i]);
        for (int key = 0; key <= static_cast<int>(kEngineCount); ++key)
            tasks.push_back({i, key});
        s.tasksLeft = static_cast<int>(kEngineCount) + 1;
    }

    const net::RunConnections connections;
    net::ConnectionPool* pool = net::currentConnectionPool();
    HostSpacing spacing(options.delay, options.maxDelay);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<bool> keyBusy(kEngineCount + 1, false);
    std::size_t nextToWrite = 0;
    std::size_t tasksLeft = tasks.size();
    TrackReport report;

    // Writes every finished site whose predecessors are written; under the mutex.
    auto writeReady = [&] {
        while (nextToWrite < sites.size() && sites[nextToWrite].tasksLeft == 0) {
            SiteRun& s = sites[nextToWrite];
            for (auto& p : problems[nextToWrite])
                report.lines.push_back(std::move(p));
            finishSite(folder, siteItems, s, options, now(), report.lines);
            ++nextToWrite;
        }
    };

    // The queries running, each with its host and start, for the progress line.
    std::map<const Task*, std::pair<std::string, std::chrono::steady_clock::time_point>> running;
    const auto tell = [&] {
        if (!options.progress)
            return;
        TrackProgress p;
        p.sites = sites.size();
        p.sitesDone = nextToWrite;
        p.queries = tasks.size();
        p.queriesDone = tasks.size() - tasksLeft;
        for (const auto& [task, what] : running)
            if (p.waitingFor.empty() || what.second < p.since) {
                p.waitingFor = what.first;
                p.since = what.second;
            }
        options.progress(p);
    };
    const auto hostOf = [&](const Task& t) {
        if (t.key == static_cast<int>(kEngineCount))
            return std::string("rank services");
        const std::string url = queries::engineCountUrl(kSearchEngines[static_cast<std::size_t>(t.key)],
                                                        CountKind::Indexed, sites[t.site].site);
        const std::size_t start = url.find("://");
        const std::size_t from = start == std::string::npos ? 0 : start + 3;
        return url.substr(from, url.find_first_of(":/?", from) - from);
    };

    auto worker = [&] {
        const fetch::PacedThread paced(spacing);
        const net::PoolScope pooled(*pool);
        std::unique_lock lock(mutex);
        for (;;) {
            Task* task = nullptr;
            for (Task& t : tasks)
                if (!t.started && !keyBusy[static_cast<std::size_t>(t.key)]) {
                    task = &t;
                    break;
                }
            if (!task) {
                if (tasksLeft == 0)
                    return;
                changed.wait(lock);
                continue;
            }
            task->started = true;
            keyBusy[static_cast<std::size_t>(task->key)] = true;
            SiteRun& s = sites[task->site];
            running[task] = {hostOf(*task), std::chrono::steady_clock::now()};
            tell();
            lock.unlock();
            if (task->key == static_cast<int>(kEngineCount))
                runRankTask(s);
            else
                runEngineTask(s, kSearchEngines[static_cast<std::size_t>(task->key)], options.lastPage);
            lock.lock();
            keyBusy[static_cast<std::size_t>(task->key)] = false;
            --s.tasksLeft;
            --tasksLeft;
            running.erase(task);
            writeReady();
            tell();
            changed.notify_all();
        }
    };

    {
        const std::lock_guard lock(mutex);
        writeReady(); // sites with nothing to ask, at the head of the list
    }
    const int jobs = std::clamp(options.jobs, 1, static_cast<int>(kEngineCount) + 1);
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();
    const std::lock_guard lock(mutex);
    writeReady();
    return report;
}

} // namespace kaldrani::tracking
