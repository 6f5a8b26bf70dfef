#include "core/queries/KeywordRun.h"

namespace kaldrani::queries {

namespace {

// Sets the view idle again however the run ends.
class RunningGuard {
public:
    explicit RunningGuard(KeywordView& view) : m_view(view) { m_view.setRunning(true); }
    ~RunningGuard() { m_view.setRunning(false); }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    KeywordView& m_view;
};

} // namespace

void runKeywordRanking(KeywordView& view, const std::string& site, const std::string& keyword, int firstPage,
                       int lastPage, const EngineSelection& selected)
{
    for (const SearchEngine e : kSearchEngines)
        view.setResultText(e, {});
    for (const SearchEngine e : kSearchEngines)
        view.setLookupVisible(e, false);

    const RunningGuard running(view);
    for (const SearchEngine e : kSearchEngines) {
        if (selected[static_cast<std::size_t>(e)])
            view.setResultText(e, FindKeywordPosition(e, site, keyword, firstPage, lastPage, view));
        else
            view.setResultText(e, "未选择");
    }
}

void QuietKeywordView::setResultText(SearchEngine engine, const std::string& text)
{
    m_results[index(engine)] = text;
    if (onStatus)
        onStatus(engine, text);
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
