// TRegExp with the program's own patterns over arbitrary text.
#include "FuzzSupport.h"

#include "core/net/TRegExp.h"
#include "core/queries/SiteOverviewRun.h"

#include <array>

using namespace kaldrani;

namespace {

const std::array<const char*, 12> kPatterns = {
    "找到相关网页((.|\\n)*?)篇",
    "获得约 <b>((.|\\n)*?)</b> ",
    "有 <b>((.|\\n)*?)</b> ",
    "<strong>((.|\\n)*?)</strong>",
    "找到 ((.|\\n)*?) <!--",
    "搜索到约((.|\\n)*?)项结果",
    "共((.|\\n)*?)条结果",
    "条结果，共 ((.|\\n)*?) 条",
    "搜狗评级:((.|\\n)*?)/100",
    "<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">((.|\\n)*?)>",
    "^\\w+((-\\w+)|(\\.\\w+))*[A-Za-z0-9]+((\\.|-)[A-Za-z0-9]+)*\\.[A-Za-z]+$",
    "<a href=\"([^\"]*)\"",
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
    re.setPattern(kPatterns[(selector & 0x0F) % kPatterns.size()]);
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
