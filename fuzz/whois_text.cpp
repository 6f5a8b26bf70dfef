// The whois page's record and the domain sent for the typed text.
#include "FuzzSupport.h"

#include <algorithm>

#include "core/lookups/TargetText.h"
#include "core/lookups/WhoisQuery.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string page(fuzz::asText(data, size));
    const std::string record = lookups::whoisText(page);
    // Only LF grows (to CR LF); the failure text stands in for an empty record.
    FUZZ_CHECK(record.size() <= std::max(2 * size, lookups::kWhoisFailure.size()));
    FUZZ_CHECK(!record.empty());
    if (text::isValidUtf8(page))
        FUZZ_CHECK(text::isValidUtf8(record));
    for (size_t at = record.find('\n'); at != std::string::npos; at = record.find('\n', at + 1))
        FUZZ_CHECK(at > 0 && record[at - 1] == '\r');

    const std::string domain = lookups::whoisDomain(page);
    FUZZ_CHECK(domain.size() <= size);
    if (text::isValidUtf8(page))
        FUZZ_CHECK(text::isValidUtf8(domain));
    FUZZ_CHECK(lookups::whoisUrl(page).ends_with("?domain=" + lookups::targetText(domain)));
    // No byte that could end or split the request line reaches it.
    for (const char c : std::string(lookups::whoisUrl(page)))
        FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7F && c != '#');
    return 0;
}
