#include "core/lookups/NewVersion.h"

#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/net/HttpClient.h"
#include "core/text/Numbers.h"

#include <charconv>

namespace kaldrani::lookups {

namespace {

std::size_t skipDigits(std::string_view s, std::size_t i)
{
    while (i < s.size() && text::isAsciiDigit(s[i]))
        ++i;
    return i;
}

constexpr int kVisitLimitMs = 30000;

} // namespace

std::string versionPageUrl()
{
    return profiles::activeService(profiles::kVersionPage)->url({});
}

std::optional<double> parseVersionNumber(std::string_view body, char decimalSeparator)
{
    std::size_t begin = 0;
    std::size_t end = body.size();
    while (begin < end && body[begin] == ' ')
        ++begin;
    while (end > begin && body[end - 1] == ' ')
        --end;
    const std::string_view s = body.substr(begin, end - begin);

    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    i = skipDigits(s, i);
    std::size_t mantissaDigits = i - intStart;
    std::size_t separatorAt = std::string_view::npos;
    if (i < s.size() && s[i] == decimalSeparator) {
        separatorAt = i;
        const std::size_t fracStart = ++i;
        i = skipDigits(s, i);
        mantissaDigits += i - fracStart;
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const std::size_t expStart = i;
        i = skipDigits(s, i);
        if (i == expStart)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;

    // from_chars knows neither a leading '+' nor any separator but the point.
    std::string text(s.substr(s[0] == '+' ? 1 : 0));
    if (separatorAt != std::string_view::npos)
        text[separatorAt - (s[0] == '+' ? 1 : 0)] = '.';
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool newVersionPublished(int readTimeoutMs, char decimalSeparator)
{
    try {
        if (const auto page = profiles::activeService(profiles::kVersionPage); !page->enabled || !page->retired.empty())
            return false;
        net::THttpClient client;
        client.ReadTimeout = readTimeoutMs;
        const std::string body = client.FetchPage(versionPageUrl());
        const std::optional<double> published = parseVersionNumber(body, decimalSeparator);
        return published && kBuiltInVersion < *published;
    } catch (...) {
        return false;
    }
}

void visitVersionPage()
{
    try {
        if (const auto page = profiles::activeService(profiles::kVersionPage); !page->enabled || !page->retired.empty())
            return;
        net::THttpClient client;
        // A visit that neither answers nor closes must not hold a thread for long.
        client.ReadTimeout = kVisitLimitMs;
        client.FetchTimeout = kVisitLimitMs;
        client.FetchPage(versionPageUrl());
    } catch (...) {
        // A visit nobody reads: its failures are nobody's business.
    }
}

} // namespace kaldrani::lookups
