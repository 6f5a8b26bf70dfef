#include "core/queries/KeywordRun.h"

#include "core/net/StopSignal.h"
#include "core/run/RunGuard.h"

namespace kaldrani::queries {

KeywordFailures runKeywordRanking(KeywordView& view, const std::string& site, const std::string& keyword,
                                  int firstPage, int lastPage, const EngineSelection& selected)
{
    for (const SearchEngine e : kSearchEngines)
        view.setResultText(e, {});
    for (const SearchEngine e : kSearchEngines)
        view.setLookupVisible(e, false);

    KeywordFailures failures;
    const run::RunGuard running(view);
    for (const SearchEngine e : kSearchEngines) {
        // A stopped run leaves the engines after it as they were cleared: none was asked.
        if (net::stopRequested())
            break;
        if (selected[engineIndex(e)]) {
            fetch::Outcome<std::string> scan = FindKeywordPosition(e, site, keyword, firstPage, lastPage, view);
            view.setResultText(e, keywordBoxText(scan));
            failures[engineIndex(e)] = std::move(scan.why);
        } else {
            view.setResultText(e, "未选择");
        }
    }
    return failures;
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
