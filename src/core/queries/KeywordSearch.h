#pragma once

#include "core/fetch/Outcome.h"
#include "core/model/SearchEngine.h"
#include "core/profiles/Profile.h"
#include "core/queries/KeywordResult.h"
#include "core/queries/QueryTerm.h"
#include "core/run/RunView.h"

#include <string>
#include <string_view>

namespace kaldrani::queries {

// The text the engine's result box shows when its scan fails ("查询出错，请重试!").
std::string_view keywordFailureText(SearchEngine engine);

// Why the typed site cannot be looked for ("域名无效：…"), or nothing when it can: a domain
// in Unicode ("例子.中国") or in A-labels ("xn--fsqu00a.xn--fiqs8s"), with or without
// "http://" before it and a path after it. An empty site can: it is found nowhere.
std::string keywordSiteProblem(std::string_view site);

// The address a result's match names: the match itself, or what service's unwrap pattern
// takes out of it, decoded as the service says (a wrapped Bing link gives its target).
std::string resultAddress(const profiles::Service& service, std::string_view match);

// The 0-based index of the first match of service's pattern on page whose address
// (resultAddress) contains site in either of its forms (letter case ignored; an empty site
// is never found), or -1. Raises fetch::BlockedPage when the page matches a blocked
// marker, text::DomainNameError for a site keywordSiteProblem refuses, and what the
// match raises.
long long keywordHitOnPage(const profiles::Service& service, const std::string& site, const std::string& page);

// The window side of a keyword scan. Every call happens at the moment its state changes,
// so a window can repaint then.
class KeywordView : public run::RunView {
public:
    // The engine's result box is emptied, as a run starts.
    virtual void clearResult(SearchEngine engine) = 0;
    // The engine's scan is about to ask result page `page`.
    virtual void setProgress(SearchEngine engine, long long page) = 0;
    // The engine's scan ended so.
    virtual void setResult(SearchEngine engine, const KeywordOutcome& outcome) = 0;
    // The run does not ask the engine.
    virtual void setNotSelected(SearchEngine engine) = 0;
    // The address the engine's "官网查询" button opens.
    virtual void setLastPageUrl(SearchEngine engine, const std::string& url) = 0;
    // Shows or hides the engine's "官网查询" button.
    virtual void setLookupVisible(SearchEngine engine, bool visible) = 0;
};

// How long one engine's whole scan may last, every page included, in milliseconds: a
// server that drips each page just under its own bounds must not hold a 100-page scan for
// hours. 180000 (a real scan of 100 pages takes well under a minute) unless changed.
int keywordScanDeadlineMs();

// Changes the bound for the whole process (tests use a small one). Values below 1 are
// taken as 1.
void setKeywordScanDeadlineMs(int ms);

// The address of result page `page` for the keyword (UTF-8 text).
std::string keywordPageUrl(SearchEngine engine, std::string_view keyword, long long page);

// The position of the first result on pages firstPage..lastPage whose address names site
// in either of its forms (letter case ignored; an empty site is never found), 0 when none
// does; or the failure, with its reason and kind, when a fetch or the pattern fails, the
// service refuses, the scan outlasts keywordScanDeadlineMs, the engine is switched off or
// retired, or keywordSiteProblem refuses the site (then nothing is asked). Reports the
// progress before each page, then the last page address and the visible button, through
// view. Never raises.
KeywordOutcome FindKeywordPosition(SearchEngine engine, const std::string& site, const std::string& keyword,
                                   int firstPage, int lastPage, KeywordView& view);

} // namespace kaldrani::queries
