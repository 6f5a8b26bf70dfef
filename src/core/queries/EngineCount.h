#pragma once

#include "core/fetch/Outcome.h"
#include "core/model/CountKind.h"
#include "core/profiles/Profile.h"

#include <string>

namespace kaldrani::queries {

// How many of the domain's pages the engine has indexed, or how many pages link to it:
// digits without grouping commas, whatever text the page holds between its markers, or
// "0" on any failure, with its reason ("no count on the page" for a page without one).
// Never raises.
fetch::Outcome<std::string> QueryEngineCount(SearchEngine engine, CountKind kind, const std::string& domain);

// The count text QueryEngineCount makes of a fetched page (decoded as its fetch form
// decodes it): the pattern's first match without its markers and grouping commas, cut to
// kMaxDisplayChars characters, or "0" when nothing matches. Raises when the match fails.
std::string engineCountFromPage(SearchEngine engine, CountKind kind, const std::string& page);

// The count text of a page for the count service given: as engineCountFromPage, but
// raises fetch::MissingFigure when there is none, fetch::BlockedPage for a refusal.
std::string countTextOf(const profiles::Service& service, const std::string& page);

// The address QueryEngineCount fetches for engine, kind and domain.
std::string engineCountUrl(SearchEngine engine, CountKind kind, const std::string& domain);

} // namespace kaldrani::queries
