#pragma once

#include "core/model/SearchEngine.h"
#include "core/queries/KeywordSearch.h"

#include <array>
#include <functional>
#include <string>

namespace kaldrani::queries {

// Which engines a keyword run asks, in SearchEngine order.
using EngineSelection = PerEngine<bool>;

// Why each engine's scan failed, in SearchEngine order; empty where it did not, or was
// not asked.
using KeywordFailures = PerEngine<std::string>;

// How many engines a keyword run asks at once (1, the default: one after another). What
// each scan shows reaches the view in engine order either way; a scan asked beside others
// shows its pages' progress only once it and every earlier engine have ended.
void setKeywordJobs(int jobs);
int keywordJobs();

// The whole run behind the start button: empties the seven result boxes and hides the seven
// buttons, sets the view running, scans each selected engine in SearchEngine order (its
// result box gets the scan's text) and writes "未选择" for the others, then sets the view
// idle again, on every path. Nothing is checked first: bad pages and empty texts go to the
// scans as they are. Returns why each failed scan failed.
KeywordFailures runKeywordRanking(KeywordView& view, const std::string& site, const std::string& keyword, int firstPage,
                       int lastPage, const EngineSelection& selected);

// What a run leaves behind when nobody watches it live: the command line and benchmarks.
// onStatus, when set, hears every text as a result box is set to it.
class QuietKeywordView : public KeywordView {
public:
    void setResultText(SearchEngine engine, const std::string& text) override;
    void setLastPageUrl(SearchEngine engine, const std::string& url) override;
    void setLookupVisible(SearchEngine engine, bool visible) override;
    void setRunning(bool) override { }

    const std::string& resultText(SearchEngine engine) const { return m_results[index(engine)]; }
    const std::string& lastPageUrl(SearchEngine engine) const { return m_urls[index(engine)]; }
    bool lookupVisible(SearchEngine engine) const { return m_visible[index(engine)]; }

    std::function<void(SearchEngine, const std::string&)> onStatus;

private:
    static std::size_t index(SearchEngine engine) { return engineIndex(engine); }
    PerEngine<std::string> m_results;
    PerEngine<std::string> m_urls;
    PerEngine<bool> m_visible{};
};

} // namespace kaldrani::queries
