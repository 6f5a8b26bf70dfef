#include "core/queries/KeywordRun.h"

#include "core/net/ConnectionPool.h"
#include "core/net/StopSignal.h"
#include "core/queries/SideBySide.h"
#include "core/run/RunGuard.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace kaldrani::queries {

namespace {

std::atomic<int> g_jobs{1};

// Keeps what a scan on another thread shows, for the caller's thread to show after it.
class RecordingView final : public KeywordView {
public:
    void setRunning(bool) override { }
    void clearResult(SearchEngine engine) override
    {
        m_calls.push_back([engine](KeywordView& v) { v.clearResult(engine); });
    }
    void setProgress(SearchEngine engine, long long page) override
    {
        m_calls.push_back([engine, page](KeywordView& v) { v.setProgress(engine, page); });
    }
    void setResult(SearchEngine engine, const KeywordOutcome& outcome) override
    {
        m_calls.push_back([engine, outcome](KeywordView& v) { v.setResult(engine, outcome); });
    }
    void setNotSelected(SearchEngine engine) override
    {
        m_calls.push_back([engine](KeywordView& v) { v.setNotSelected(engine); });
    }
    void setLastPageUrl(SearchEngine engine, const std::string& url) override
    {
        m_calls.push_back([engine, url](KeywordView& v) { v.setLastPageUrl(engine, url); });
    }
    void setLookupVisible(SearchEngine engine, bool visible) override
    {
        m_calls.push_back([engine, visible](KeywordView& v) { v.setLookupVisible(engine, visible); });
    }
    void replay(KeywordView& view) const
    {
        for (const auto& call : m_calls)
            call(view);
    }

private:
    std::vector<std::function<void(KeywordView&)>> m_calls;
};

} // namespace

void setKeywordJobs(int jobs)
{
    g_jobs = std::max(1, jobs);
}

int keywordJobs()
{
    return g_jobs;
}

KeywordOutcomes runKeywordRanking(KeywordView& view, const std::string& site, const std::string& keyword,
                                  int firstPage, int lastPage, const EngineSelection& selected)
{
    for (const SearchEngine e : kSearchEngines)
        view.clearResult(e);
    for (const SearchEngine e : kSearchEngines)
        view.setLookupVisible(e, false);

    KeywordOutcomes outcomes;
    const run::RunGuard running(view);
    const net::RunConnections connections;
    // Each engine is its own host; what a scan shows reaches the view in engine order.
    std::vector<SideTask> tasks;
    for (const SearchEngine e : kSearchEngines) {
        tasks.push_back({std::to_string(engineIndex(e)), [&, e](bool direct) -> std::function<void()> {
                             // A stopped run leaves the engines after it as they were cleared: none was asked.
                             if (net::stopRequested())
                                 return {};
                             if (!selected[engineIndex(e)])
                                 return [&view, e] { view.setNotSelected(e); };
                             auto recorded = std::make_shared<RecordingView>();
                             KeywordView& shows = direct ? view : static_cast<KeywordView&>(*recorded);
                             auto scan = std::make_shared<KeywordOutcome>(
                                 FindKeywordPosition(e, site, keyword, firstPage, lastPage, shows));
                             return [&view, &outcomes, e, scan, recorded] {
                                 recorded->replay(view);
                                 view.setResult(e, *scan);
                                 outcomes[engineIndex(e)] = std::move(*scan);
                             };
                         }});
    }
    runSideBySide(tasks, keywordJobs());
    return outcomes;
}

void QuietKeywordView::clearResult(SearchEngine engine)
{
    m_results[index(engine)].reset();
    m_notSelected[index(engine)] = false;
}

void QuietKeywordView::setProgress(SearchEngine engine, long long page)
{
    if (onProgress)
        onProgress(engine, page);
}

void QuietKeywordView::setResult(SearchEngine engine, const KeywordOutcome& outcome)
{
    m_results[index(engine)] = outcome;
}

void QuietKeywordView::setNotSelected(SearchEngine engine)
{
    m_notSelected[index(engine)] = true;
}

void QuietKeywordView::setLastPageUrl(SearchEngine engine, const std::string& url)
{
    m_urls[index(engine)] = url;
}

void QuietKeywordView::setLookupVisible(SearchEngine engine, bool visible)
{
    m_visible[index(engine)] = visible;
}

} // namespace kaldrani::queries
