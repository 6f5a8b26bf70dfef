#pragma once

#include "core/queries/Figure.h"
#include "core/records/DataFolder.h"
#include "core/run/RunView.h"

#include <array>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kaldrani::queries {

// What the main window shows of a site overview: the fourteen count cells, the PageRank
// picture, the Sogou gauge and the two rank labels. The run writes it; the history record
// is read back from it, as the display was left.
struct OverviewDisplay {
    // The count of one engine and kind, as shown, with why its query failed.
    const Figure& figure(FigureId id) const { return m_counts[engineIndex(id.engine)][kindIndex(id.kind)]; }
    void setFigure(FigureId id, Figure figure) { m_counts[engineIndex(id.engine)][kindIndex(id.kind)] = std::move(figure); }

    // The PageRank as its query returned it (never negative; may exceed 10).
    int pageRank = 0;
    // Picture number drawn into ImagePR: 0..10, or -1 for an empty picture.
    int pageRankPicture = -1;
    bool pageRankVisible = true;
    // The gauge's value, always within 0..100.
    int gaugeValue = 0;
    bool gaugeVisible = false;
    std::string alexaRank;
    std::string chinaRank;

    // Why a rank's query failed, beside the failure value shown; empty when it did not.
    // Cleared with the results.
    std::string pageRankFailure;
    std::string sogouRatingFailure;
    std::string alexaRankFailure;
    std::string chinaRankFailure;
    // How each rank's query failed, beside its reason.
    fetch::FailureKind pageRankFailureKind = fetch::FailureKind::Plain;
    fetch::FailureKind sogouRatingFailureKind = fetch::FailureKind::Plain;
    fetch::FailureKind alexaRankFailureKind = fetch::FailureKind::Plain;
    fetch::FailureKind chinaRankFailureKind = fetch::FailureKind::Plain;

private:
    PerEngine<std::array<Figure, kCountKinds.size()>> m_counts;
};

// The window side of a run. Every call happens on the thread that runs the run, at the
// moment the display changed, so the window can repaint exactly then.
class OverviewView : public run::RunView {
public:
    // The display's figure id was written: show it, repaint now.
    virtual void figureChanged(FigureId id) = 0;
    // The previous results were cleared (cells, picture and gauge hidden, labels empty):
    // repaint the whole window at once.
    virtual void displayCleared() = 0;
    // pageRankPicture / gaugeValue / alexaRank / chinaRank was set and shown: repaint it.
    virtual void pageRankChanged() = 0;
    virtual void gaugeChanged() = 0;
    virtual void alexaRankChanged() = 0;
    virtual void chinaRankChanged() = 0;
    // Replaces the URL box's text (the empty or invalid domain rule).
    virtual void setUrlText(const std::string& text) = 0;
    // A failure the run cannot handle itself, for the application's error box.
    virtual void reportError(const std::string& message) = 0;
};

// A view for callers that show the display once, at the end (the command line, benchmarks):
// nothing to repaint; it keeps the first failure reported.
class QuietOverviewView : public OverviewView {
public:
    void figureChanged(FigureId) override { }
    void displayCleared() override { }
    void pageRankChanged() override { }
    void gaugeChanged() override { }
    void alexaRankChanged() override { }
    void chinaRankChanged() override { }
    void setUrlText(const std::string&) override { }
    void setRunning(bool) override { }
    void reportError(const std::string& message) override
    {
        if (m_firstError.empty())
            m_firstError = message;
    }
    // The first failure reported, or an empty text.
    const std::string& firstError() const { return m_firstError; }

private:
    std::string m_firstError;
};

// True when the domain matches the domain rule; any regular-expression error gives false.
bool IsValidDomain(const std::string& domain);

// Appends the record the display holds to the site's history, with the PageRank text
// given and the query time now. Raises records::FileError as appendHistoryLine does.
void SaveToFile(const records::DataFolder& folder, const OverviewDisplay& display,
                const std::string& site, const std::string& pageRankText, const std::tm& now);

// The local time now.
std::tm localNow();

// How many distinct hosts an overview asks at once (1, the default: one query after
// another in their fixed order). Results are shown in that order either way.
void setOverviewJobs(int jobs);
int overviewJobs();

// The whole run behind the query button: clears previous results, checks the domain,
// runs the eighteen queries in their fixed order reporting each result through view, and
// appends one history record per site-list item equal to urlText. The view is set running
// for the queries and always set idle again at the end; a history write failure is
// reported through view.reportError.
void runSiteOverview(OverviewDisplay& display, OverviewView& view, const records::DataFolder& folder,
                     const std::string& urlText, const std::vector<std::string>& siteItems,
                     const std::function<std::tm()>& now = localNow);

} // namespace kaldrani::queries
