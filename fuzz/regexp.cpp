// TRegExp with the program's own patterns over arbitrary text.
#include "FuzzSupport.h"

#include "core/fetch/Patterns.h"
#include "core/net/TRegExp.h"
#include "core/queries/SiteOverviewRun.h"

#include <array>

using namespace kaldrani;

namespace {

const std::array<std::string_view, 12> kPatterns = {
    patterns::kBaiduCount, patterns::kGoogleIndexed, patterns::kGoogleBacklinks, patterns::kStrong,
    patterns::kSogouCount, patterns::kSosoCount,     patterns::kYoudaoCount,     patterns::kBingCount,
    patterns::kSogouRating, patterns::kChinaRank,    patterns::kDomain,          "<a href=\"([^\"]*)\"",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    const std::string_view raw = fuzz::asText(data + 1, size - 1);
    // Pages reach the service decoded; typed text may be anything.
    const std::string text = (selector & 0x80) ? std::string(raw) : text::sanitizeUtf8(raw);

    net::TRegExp re;
    re.setPattern(std::string(kPatterns[(selector & 0x0F) % kPatterns.size()]));
    re.setGlobal(selector & 0x10);
    re.setMultiline(selector & 0x20);
    const net::TMatchCollection matches = re.Execute(text);
    FUZZ_CHECK(re.Global() || matches.Count() <= 1);
    size_t end = 0;
    for (int i = 0; i < matches.Count(); ++i) {
        const net::TMatch& m = matches.Item(i);
        // Each match is the text at its place, left to right, without overlap.
        FUZZ_CHECK(m.FirstIndex >= end && m.FirstIndex + m.Length() <= text.size());
        FUZZ_CHECK(text.compare(m.FirstIndex, m.Length(), m.Value) == 0);
        end = m.FirstIndex + m.Length();
    }

    if (queries::IsValidDomain(text))
        FUZZ_CHECK(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-")
                   == std::string::npos);
    return 0;
}
