#include "core/lookups/IpQuery.h"

#include "core/fetch/QueryFetch.h"
#include "core/lookups/MatchOrWhole.h"
#include "core/lookups/TargetText.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/text/TextRemoval.h"

#include <functional>
#include <memory>

namespace kaldrani::lookups {

namespace {

std::string readPage(const profiles::Service& service, const std::string& page)
{
    fetch::checkNotBlocked(service, page);
    return service.pattern.empty() ? page : matchOrWhole(service.pattern, page);
}

template <class Read>
fetch::Outcome<std::string> ask(std::string_view name, std::string failureValue,
                                const std::function<std::string(const profiles::Service&)>& url, Read&& read)
{
    const std::shared_ptr<const profiles::Service> service = profiles::activeService(name);
    if (!service->retired.empty())
        return fetch::retiredOutcome(std::move(failureValue), service->retired);
    if (!service->enabled)
        return fetch::switchedOff(std::move(failureValue));
    // The service's waits are bounded: the own address is fetched during start-up, and a
    // lookup holds its window's input.
    return fetch::outcomeOf(std::move(failureValue), fetch::readTimeoutOf(*service), [&] {
        return read(*service, fetch::fetchQueryPage(url(*service), fetch::fetchSettings(*service)));
    });
}

} // namespace

std::string ownAddressUrl()
{
    return profiles::activeService(profiles::kOwnAddress)->url({});
}

std::string ownAddressText(const profiles::Service& service, const std::string& page)
{
    return service.edited(readPage(service, page));
}

std::string ownAddressText(const std::string& page)
{
    return ownAddressText(*profiles::activeService(profiles::kOwnAddress), page);
}

std::string ipLookupUrl(const std::string& typed)
{
    std::string address = typed;
    text::removeAll(address, "http://");
    return profiles::activeService(profiles::kIpLookup)->url({{"address", targetText(address)}});
}

std::string ipLookupText(const profiles::Service& service, const std::string& page)
{
    std::string text = readPage(service, page);
    if (!service.notFound.empty() && text.find(service.notFound) != std::string::npos)
        text = kIpNotFound;
    return service.edited(std::move(text));
}

std::string ipLookupText(const std::string& page)
{
    return ipLookupText(*profiles::activeService(profiles::kIpLookup), page);
}

fetch::Outcome<std::string> QueryOwnAddress()
{
    return ask(profiles::kOwnAddress, std::string(), [](const profiles::Service& s) { return s.url({}); },
               [](const profiles::Service& s, const std::string& page) { return ownAddressText(s, page); });
}

fetch::Outcome<std::string> QueryIpLookup(const std::string& typed)
{
    return ask(profiles::kIpLookup, std::string(kIpFailure), [&](const profiles::Service&) { return ipLookupUrl(typed); },
               [](const profiles::Service& s, const std::string& page) { return ipLookupText(s, page); });
}

} // namespace kaldrani::lookups
