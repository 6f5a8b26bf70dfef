#pragma once

#include "core/model/SearchEngine.h"
#include "core/queries/KeywordSearch.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace kaldrani::queries {

// Which engines a keyword run asks, in SearchEngine order.
using EngineSelection = PerEngine<bool>;

// What each engine's scan came to, in SearchEngine order; nothing for an engine the run
// did not ask (not selected, or a stop came first).
using KeywordOutcomes = PerEngine<std::optional<KeywordOutcome>>;

// How many engines a keyword run asks at once (1, the default: one after another). What
// each scan shows reaches the view in engine order either way; a scan asked beside others
// shows its pages' progress only once it and every earlier engine have ended.
void setKeywordJobs(int jobs);
int keywordJobs();

// The whole run behind the start button: empties the seven result boxes and hides the seven
// buttons, sets the view running, scans each selected engine in SearchEngine order (its
// result box gets the scan's outcome) and marks the others not selected, then sets the
// view idle again, on every path. Pages and empty texts go to the scans as they are; a
// site keywordSiteProblem refuses fails every scan without a request. Returns each
// asked engine's outcome.
KeywordOutcomes runKeywordRanking(KeywordView& view, const std::string& site, const std::string& keyword,
                                  int firstPage, int lastPage, const EngineSelection& selected);

// What a run leaves behind when nobody watches it live: the command line and benchmarks.
// onProgress, when set, hears every page as a scan is about to ask it.
class QuietKeywordView : public KeywordView {
public:
    void clearResult(SearchEngine engine) override;
    void setProgress(SearchEngine engine, long long page) override;
    void setResult(SearchEngine engine, const KeywordOutcome& outcome) override;
    void setNotSelected(SearchEngine engine) override;
    void setLastPageUrl(SearchEngine engine, const std::string& url) override;
    void setLookupVisible(SearchEngine engine, bool visible) override;
    void setRunning(bool) override { }

    // The engine's last outcome; nothing when it was cleared, not selected or is still running.
    const std::optional<KeywordOutcome>& result(SearchEngine engine) const { return m_results[index(engine)]; }
    bool notSelected(SearchEngine engine) const { return m_notSelected[index(engine)]; }
    const std::string& lastPageUrl(SearchEngine engine) const { return m_urls[index(engine)]; }
    bool lookupVisible(SearchEngine engine) const { return m_visible[index(engine)]; }

    std::function<void(SearchEngine, long long)> onProgress;

private:
    static std::size_t index(SearchEngine engine) { return engineIndex(engine); }
    KeywordOutcomes m_results;
    PerEngine<bool> m_notSelected{};
    PerEngine<std::string> m_urls;
    PerEngine<bool> m_visible{};
};

} // namespace kaldrani::queries
