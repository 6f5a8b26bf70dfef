#include "core/queries/EngineCount.h"

#include "core/fetch/QueryFetch.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/queries/DisplayText.h"

#include <memory>

namespace kaldrani::queries {

// The count text the page states, bounded; raises fetch::MissingFigure when it states
// none, fetch::BlockedPage when the page is a refusal.
std::string countTextOf(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    std::string text = service.edited(service.matched(page));
    // Shown as "0" like a true nought, but the page did not say so.
    if (text.empty())
        throw fetch::MissingFigure("no count on the page");
    return boundDisplayText(std::move(text));
}

namespace {

std::string urlFor(const profiles::Service& service, const std::string& domain)
{
    // The domain goes in as typed: the domain check leaves nothing that needs encoding.
    return service.url({{"site", domain}});
}

std::string countFromPage(const profiles::Service& service, const std::string& page)
{
    try {
        return countTextOf(service, page);
    } catch (const fetch::MissingFigure&) {
        return "0";
    } catch (const fetch::BlockedPage&) {
        return "0";
    }
}

fetch::Outcome<std::string> countFrom(const profiles::Service& service, const std::string& domain)
{
    if (!service.retired.empty())
        return fetch::retiredOutcome(std::string("0"), service.retired);
    if (!service.enabled)
        return fetch::switchedOff(std::string("0"));
    return fetch::outcomeOf(std::string("0"), fetch::readTimeoutOf(service), [&] {
        // The page goes before the next query: only the short count outlives this call.
        return countTextOf(service, fetch::fetchQueryPage(urlFor(service, domain), fetch::fetchSettings(service)));
    });
}

std::shared_ptr<const profiles::Service> serviceFor(SearchEngine engine, CountKind kind)
{
    return profiles::activeService(profiles::countService(engine, kind));
}

} // namespace

std::string engineCountFromPage(SearchEngine engine, CountKind kind, const std::string& page)
{
    return countFromPage(*serviceFor(engine, kind), page);
}

std::string engineCountUrl(SearchEngine engine, CountKind kind, const std::string& domain)
{
    return urlFor(*serviceFor(engine, kind), domain);
}

fetch::Outcome<std::string> QueryEngineCount(SearchEngine engine, CountKind kind, const std::string& domain)
{
    return countFrom(*serviceFor(engine, kind), domain);
}

} // namespace kaldrani::queries
