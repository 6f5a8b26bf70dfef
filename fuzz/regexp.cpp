// TRegExp with the program's own patterns over arbitrary text.
#include "FuzzSupport.h"

#include "core/fetch/Patterns.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ActiveProfile.h"
#include "core/queries/SiteOverviewRun.h"

#include <string>
#include <vector>

using namespace kaldrani;

namespace {

// The default profile's patterns, the domain check and a plain one.
const std::vector<std::string>& patternList()
{
    static const std::vector<std::string> list = [] {
        std::vector<std::string> out;
        for (const profiles::Service& s : profiles::defaultProfile().services)
            if (!s.pattern.empty())
                out.push_back(s.pattern);
        out.emplace_back(patterns::kDomain);
        out.emplace_back("<a href=\"([^\"]*)\"");
        return out;
    }();
    return list;
}

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
    re.setPattern(patternList()[((selector & 0x0F) | ((selector & 0x40) >> 2)) % patternList().size()]);
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
