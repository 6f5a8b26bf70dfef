#pragma once

#include <string>
#include <string_view>

namespace kaldrani::lookups {

// How one lookup's client is set up: the user agent (the client's default unless cleared)
// and the bound on each wait for data. Redirects are never followed.
struct LookupSettings {
    bool clearUserAgent = false;
    int readTimeoutMs = 0;
};

// Fetches the address in the stream form and returns the body read back as GBK. The
// connect is bounded by the queries' safety bound. Raises FetchError on any failure.
std::string fetchLookupPage(const std::string& url, const LookupSettings& settings);

// The whole first match of pattern in page, or the whole page when nothing matches.
// Raises RegExpError for a bad pattern.
std::string matchOrWhole(std::string_view pattern, const std::string& page);

} // namespace kaldrani::lookups
