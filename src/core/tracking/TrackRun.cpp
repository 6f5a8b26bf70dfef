#include "core/tracking/TrackRun.h"

#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/EngineCount.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/History.h"
#include "core/records/HistoryEntry.h"
#include "core/records/KeywordHistory.h"
#include "core/run/EventPump.h"
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
    std::vector<PerEngine<std::string>> keywordTexts;
    std::vector<queries::KeywordFailures> keywordFailures;
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
    run::NoEventPump pump;
    for (const CountKind k : kCountKinds) {
        fetch::Outcome<std::string> count = queries::QueryEngineCount(e, k, s.site, pump);
        s.display.setFigure({e, k}, {std::move(count.value), std::move(count.why)});
    }
    for (std::size_t i = 0; i < s.keywords.size(); ++i) {
        queries::QuietKeywordView view;
        fetch::Outcome<std::string> scan = queries::FindKeywordPosition(e, s.site, s.keywords[i], 1, lastPage, view);
        s.keywordTexts[i][engineIndex(e)] = std::move(scan.value);
        s.keywordFailures[i][engineIndex(e)] = std::move(scan.why);
    }
}

void runRankTask(SiteRun& s)
{
    run::NoEventPump pump;
    queries::OverviewDisplay& d = s.display;
    fetch::Outcome<int> pageRank = queries::QueryPageRank(s.site);
    d.pageRank = pageRank.value;
    d.pageRankFailure = std::move(pageRank.why);
    fetch::Outcome<int> rating = queries::QuerySogouRating(s.site, pump);
    d.gaugeValue = std::clamp(rating.value, 0, 100);
    d.sogouRatingFailure = std::move(rating.why);
    fetch::Outcome<std::string> alexa = queries::QueryAlexaRank(s.site, pump);
    d.alexaRank = std::move(alexa.value);
    d.alexaRankFailure = std::move(alexa.why);
    fetch::Outcome<std::string> chinaRank = queries::QueryChinaRank(s.site, pump);
    d.chinaRank = std::move(chinaRank.value);
    d.chinaRankFailure = std::move(chinaRank.why);
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
    const std::tuple<What, const std::string*, fetch::Failure> ranks[] = {
        {What::PageRank, &d.pageRankFailure, d.pageRankFailureKind},
        {What::SogouRank, &d.sogouRatingFailure, d.sogouRatingFailureKind},
        {What::AlexaRank, &d.alexaRankFailure, d.alexaRankFailureKind},
        {What::ChinaRank, &d.chinaRankFailure, d.chinaRankFailureKind}};
    // A retired service was not asked and did not fail.
    for (const auto& [what, why, kind] : ranks)
        if (!why->empty() && kind != fetch::Failure::Retired)
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
        records.push_back(keywordRecordOf(s.keywords[i], 1, options.lastPage, all, s.keywordTexts[i],
                                          s.keywordFailures[i], when));
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
        s.keywordTexts.resize(s.keywords.size());
        s.keywordFailures.resize(s.keywords.size());
        if (!s.valid)
            continue;
        readPrevious(folder, s, problems[i]);
        for (int key = 0; key <= static_cast<int>(kEngineCount); ++key)
            tasks.push_back({i, key});
        s.tasksLeft = static_cast<int>(kEngineCount) + 1;
    }

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

    auto worker = [&] {
        const fetch::PacedThread paced(spacing);
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
            lock.unlock();
            if (task->key == static_cast<int>(kEngineCount))
                runRankTask(s);
            else
                runEngineTask(s, kSearchEngines[static_cast<std::size_t>(task->key)], options.lastPage);
            lock.lock();
            keyBusy[static_cast<std::size_t>(task->key)] = false;
            --s.tasksLeft;
            --tasksLeft;
            writeReady();
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
