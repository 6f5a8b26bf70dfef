// The count and rank extractions over a page decoded as each fetch form decodes it.
#include "FuzzSupport.h"

#include "core/queries/DisplayText.h"
#include "core/queries/EngineCount.h"
#include "core/queries/RankQueries.h"

using namespace kaldrani;

namespace {

size_t characters(const std::string& text)
{
    size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void checkDisplay(const std::string& text)
{
    FUZZ_CHECK(!text.empty());
    FUZZ_CHECK(text::isValidUtf8(text));
    FUZZ_CHECK(characters(text) <= queries::kMaxDisplayChars);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string_view bytes = fuzz::asText(data + 1, size - 1);
    // The stream form reads GBK back; the string form gives UTF-8 or one character a byte.
    std::string page;
    switch (data[0] % 3) {
    case 0: page = text::gbkToUtf8(bytes); break;
    case 1: page = text::sanitizeUtf8(bytes); break;
    default: page = text::latin1ToUtf8(bytes); break;
    }
    for (const SearchEngine engine : kSearchEngines)
        for (const CountKind kind : {CountKind::Indexed, CountKind::Backlinks})
            checkDisplay(queries::engineCountFromPage(engine, kind, page));
    FUZZ_CHECK(queries::pageRankFromPage(page) >= 0);
    (void)queries::sogouRatingFromPage(page);
    checkDisplay(queries::alexaRankFromReply(page));
    checkDisplay(queries::chinaRankFromPage(page));
    return 0;
}
