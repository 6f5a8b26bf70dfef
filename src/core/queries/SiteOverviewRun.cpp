#include "core/queries/SiteOverviewRun.h"

#include "core/fetch/Endpoints.h"
#include "core/fetch/Patterns.h"
#include "core/model/SearchEngine.h"
#include "core/net/ConnectionPool.h"
#include "core/net/StopSignal.h"
#include "core/net/TRegExp.h"
#include "core/queries/EngineCount.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SideBySide.h"
#include "core/net/HttpAddress.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/records/History.h"
#include "core/run/RunGuard.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>

namespace kaldrani::queries {

namespace {

void clearDisplay(OverviewDisplay& display, OverviewView& view)
{
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds)
            display.setFigure({e, k}, {});
    display.pageRankFailure.clear();
    display.sogouRatingFailure.clear();
    display.alexaRankFailure.clear();
    display.chinaRankFailure.clear();
    display.pageRankFailureKind = display.sogouRatingFailureKind = fetch::FailureKind::Plain;
    display.alexaRankFailureKind = display.chinaRankFailureKind = fetch::FailureKind::Plain;
    display.pageRankVisible = false;
    display.gaugeVisible = false;
    display.alexaRank.clear();
    display.chinaRank.clear();
    view.displayCleared();
}

std::atomic<int> g_jobs{1};

std::string serviceHost(std::string_view name)
{
    try {
        return profiles::activeService(name)->host;
    } catch (const std::out_of_range&) {
        return std::string(name);
    }
}

} // namespace

void setOverviewJobs(int jobs)
{
    g_jobs = std::max(1, jobs);
}

int overviewJobs()
{
    return g_jobs;
}

bool IsValidDomain(const std::string& domain)
{
    try {
        net::TRegExp re;
        re.setPattern(std::string(patterns::kDomain));
        return re.Execute(domain).Count() > 0;
    } catch (...) {
        return false;
    }
}

void SaveToFile(const records::DataFolder& folder, const OverviewDisplay& display, const std::string& site,
                const std::string& pageRankText, const std::tm& now)
{
    records::HistoryFields fields;
    for (const SearchEngine e : kSearchEngines) {
        const auto i = static_cast<std::size_t>(e);
        fields.indexed[i] = display.figure({e, CountKind::Indexed}).text;
        fields.backlinks[i] = display.figure({e, CountKind::Backlinks}).text;
    }
    fields.pageRank = pageRankText;
    fields.sogouRating = std::to_string(display.gaugeValue);
    fields.alexaRank = display.alexaRank;
    fields.chinaRank = display.chinaRank;
    records::appendHistoryLine(folder, site, records::formatHistoryLine(fields, records::formatQueryTime(now)));
}

std::tm localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

void runSiteOverview(OverviewDisplay& display, OverviewView& view, const records::DataFolder& folder,
                     const std::string& urlText, const std::vector<std::string>& siteItems,
                     const std::function<std::tm()>& now)
{
    // Baidu's indexed count is written by every run, so a non-empty one means results are on show.
    if (!display.figure({SearchEngine::Baidu, CountKind::Indexed}).text.empty())
        clearDisplay(display, view);

    if (urlText.empty() || !IsValidDomain(urlText)) {
        view.setUrlText(std::string(endpoints::kMaker));
        return;
    }

    const run::RunGuard running(view);
    const net::RunConnections connections;
    const std::string domain = urlText;
    display.pageRankPicture = -1;

    // Each query's result is shown by the caller's thread, in this order, whatever the jobs.
    std::vector<SideTask> tasks;
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds)
            tasks.push_back({net::splitAddress(engineCountUrl(e, k, domain)).host, [&, e, k](bool) -> std::function<void()> {
                                 if (net::stopRequested())
                                     return {};
                                 auto count = std::make_shared<fetch::Outcome<std::string>>(QueryEngineCount(e, k, domain));
                                 return std::function<void()>([&, e, k, count] {
                                     display.setFigure({e, k}, {std::move(count->value), count->why(), count->kind()});
                                     view.figureChanged({e, k});
                                 });
                             }});
    tasks.push_back({serviceHost(profiles::kPageRank), [&](bool) -> std::function<void()> {
                         if (net::stopRequested())
                             return {};
                         auto pageRank = std::make_shared<fetch::Outcome<int>>(QueryPageRank(domain));
                         return std::function<void()>([&, pageRank] {
                             display.pageRank = pageRank->value;
                             display.pageRankFailure = pageRank->why();
                             display.pageRankFailureKind = pageRank->kind();
                             display.pageRankPicture = display.pageRank >= 0 && display.pageRank <= 10 ? display.pageRank : -1;
                             display.pageRankVisible = true;
                             view.pageRankChanged();
                         });
                     }});
    tasks.push_back({serviceHost(profiles::kSogouRating), [&](bool) -> std::function<void()> {
                         if (net::stopRequested())
                             return {};
                         auto rating = std::make_shared<fetch::Outcome<int>>(QuerySogouRating(domain));
                         return std::function<void()>([&, rating] {
                             display.gaugeValue = std::clamp(rating->value, 0, 100);
                             display.sogouRatingFailure = rating->why();
                             display.sogouRatingFailureKind = rating->kind();
                             display.gaugeVisible = true;
                             view.gaugeChanged();
                         });
                     }});
    tasks.push_back({serviceHost(profiles::kAlexaRank), [&](bool) -> std::function<void()> {
                         if (net::stopRequested())
                             return {};
                         auto alexa = std::make_shared<fetch::Outcome<std::string>>(QueryAlexaRank(domain));
                         return std::function<void()>([&, alexa] {
                             display.alexaRank = std::move(alexa->value);
                             display.alexaRankFailure = alexa->why();
                             display.alexaRankFailureKind = alexa->kind();
                             view.alexaRankChanged();
                         });
                     }});
    tasks.push_back({serviceHost(profiles::kChinaRank), [&](bool) -> std::function<void()> {
                         if (net::stopRequested())
                             return {};
                         auto chinaRank = std::make_shared<fetch::Outcome<std::string>>(QueryChinaRank(domain));
                         return std::function<void()>([&, chinaRank] {
                             display.chinaRank = std::move(chinaRank->value);
                             display.chinaRankFailure = chinaRank->why();
                             display.chinaRankFailureKind = chinaRank->kind();
                             view.chinaRankChanged();
                         });
                     }});
    runSideBySide(tasks, overviewJobs());

    // The queries a stop cut short read as failures: the history must not keep them.
    if (net::stopRequested())
        return;
    // The record reads the display as left above; nothing changes it between two saves.
    const std::string pageRankText = std::to_string(display.pageRank);
    try {
        for (const std::string& item : siteItems)
            if (item == domain)
                SaveToFile(folder, display, domain, pageRankText, now());
    } catch (const std::exception& e) {
        view.reportError(e.what());
    }
}

} // namespace kaldrani::queries
