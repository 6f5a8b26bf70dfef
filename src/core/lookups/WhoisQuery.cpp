#include "core/lookups/WhoisQuery.h"

#include "core/fetch/QueryFetch.h"
#include "core/lookups/DomainWhois.h"
#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/text/Ascii.h"
#include "core/text/TextRemoval.h"

#include <memory>

namespace kaldrani::lookups {

std::string whoisDomain(const std::string& typed)
{
    std::string domain = typed;
    if (text::asciiLower(domain).find("www.") != std::string::npos)
        text::removeAll(domain, "www.");
    return domain;
}

std::string whoisUrl(const std::string& typed)
{
    return profiles::activeService(profiles::kWhois)->url({{"domain", targetText(whoisDomain(typed))}});
}

std::string whoisText(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    // Without the record's markers the whole page is shown.
    const std::string text = service.edited(service.pattern.empty() ? page : matchOrWhole(service.pattern, page));
    return text.empty() ? std::string(kWhoisFailure) : text;
}

std::string whoisText(const std::string& page)
{
    try {
        return whoisText(*profiles::activeService(profiles::kWhois), page);
    } catch (const fetch::BlockedPage&) {
        return std::string(kWhoisFailure);
    }
}

fetch::Outcome<std::string> QueryWhois(const std::string& typed)
{
    if (profiles::activeProfile()->base == "current")
        return QueryDomainRegistration(typed);
    const std::shared_ptr<const profiles::Service> service = profiles::activeService(profiles::kWhois);
    if (!service->retired.empty())
        return fetch::retiredOutcome(std::string(kWhoisFailure), service->retired);
    if (!service->enabled)
        return fetch::switchedOff(std::string(kWhoisFailure));
    // An unreachable host must not keep the window waiting for the system's connect limit.
    return fetch::outcomeOf(std::string(kWhoisFailure), fetch::readTimeoutOf(*service), [&] {
        std::string text = whoisText(*service, fetch::fetchQueryPage(whoisUrl(typed), fetch::fetchSettings(*service)));
        if (text == kWhoisFailure)
            throw fetch::MissingFigure("no record on the page");
        return text;
    });
}

} // namespace kaldrani::lookups
