#include "core/queries/SiteOverviewRun.h"

#include "core/net/TRegExp.h"
#include "core/queries/EngineCount.h"
#include "core/queries/Endpoints.h"
#include "core/queries/Patterns.h"
#include "core/queries/RankQueries.h"
#include "core/queries/SearchEngine.h"
#include "core/records/History.h"

#include <algorithm>
#include <stdexcept>

namespace kaldrani::queries {

namespace {

std::size_t cellIndex(int col, int row)
{
    if (col < 1 || col > 2 || row < 1 || row > 7)
        throw std::out_of_range("grid cell (" + std::to_string(col) + ", " + std::to_string(row)
                                + ") is not a result cell");
    return static_cast<std::size_t>((row - 1) * 2 + (col - 1));
}

// Sets the view idle again however the run ends.
class RunningGuard {
public:
    explicit RunningGuard(OverviewView& view) : m_view(view) { m_view.setRunning(true); }
    ~RunningGuard() { m_view.setRunning(false); }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    OverviewView& m_view;
};

void clearDisplay(OverviewDisplay& display, OverviewView& view)
{
    for (int row = 1; row <= 7; ++row)
        for (int col = 1; col <= 2; ++col) {
            display.setCell(col, row, {});
            display.setCellFailure(col, row, {});
        }
    display.pageRankFailure.clear();
    display.sogouRatingFailure.clear();
    display.alexaRankFailure.clear();
    display.chinaRankFailure.clear();
    display.pageRankVisible = false;
    display.gaugeVisible = false;
    display.alexaRank.clear();
    display.chinaRank.clear();
    view.displayCleared();
}

} // namespace

const std::string& OverviewDisplay::cell(int col, int row) const
{
    return m_cells[cellIndex(col, row)];
}

void OverviewDisplay::setCell(int col, int row, std::string text)
{
    m_cells[cellIndex(col, row)] = std::move(text);
}

const std::string& OverviewDisplay::cellFailure(int col, int row) const
{
    return m_cellFailures[cellIndex(col, row)];
}

void OverviewDisplay::setCellFailure(int col, int row, std::string why)
{
    m_cellFailures[cellIndex(col, row)] = std::move(why);
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
        fields.indexed[i] = display.cell(1, engineRow(e));
        fields.backlinks[i] = display.cell(2, engineRow(e));
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
    // Cell (1, 1) is written by every run, so a non-empty one means results are on show.
    if (!display.cell(1, 1).empty())
        clearDisplay(display, view);

    if (urlText.empty() || !IsValidDomain(urlText)) {
        view.setUrlText(std::string(endpoints::kMaker));
        return;
    }

    RunningGuard running(view);
    const std::string domain = urlText;
    display.pageRankPicture = -1;

    std::string why;
    for (const SearchEngine e : kSearchEngines) {
        display.setCell(1, engineRow(e), QueryEngineCount(e, CountKind::Indexed, domain, view, &why));
        display.setCellFailure(1, engineRow(e), why);
        view.gridCellChanged(1, engineRow(e));
        display.setCell(2, engineRow(e), QueryEngineCount(e, CountKind::Backlinks, domain, view, &why));
        display.setCellFailure(2, engineRow(e), why);
        view.gridCellChanged(2, engineRow(e));
    }

    display.pageRank = QueryPageRank(domain, &display.pageRankFailure);
    display.pageRankPicture = display.pageRank >= 0 && display.pageRank <= 10 ? display.pageRank : -1;
    display.pageRankVisible = true;
    view.pageRankChanged();

    display.gaugeValue = std::clamp(QuerySogouRating(domain, view, &display.sogouRatingFailure), 0, 100);
    display.gaugeVisible = true;
    view.gaugeChanged();

    display.alexaRank = QueryAlexaRank(domain, view, &display.alexaRankFailure);
    view.alexaRankChanged();

    display.chinaRank = QueryChinaRank(domain, view, &display.chinaRankFailure);
    view.chinaRankChanged();

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
