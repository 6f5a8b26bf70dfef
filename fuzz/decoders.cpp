// The text decoders: GBK, UTF-8, one character a byte, UTF-16 and byte-order marks.
#include "FuzzSupport.h"

#include "core/text/Encoding.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes = fuzz::asText(data, size);

    const std::string gbk = text::gbkToUtf8(bytes);
    FUZZ_CHECK(text::isValidUtf8(gbk));
    // A GBK character is one or two bytes and at most three in UTF-8.
    FUZZ_CHECK(gbk.size() <= 3 * size);
    const std::string again = text::utf8ToGbk(gbk);
    FUZZ_CHECK(text::isValidUtf8(text::gbkToUtf8(again)));

    const std::string latin = text::latin1ToUtf8(bytes);
    FUZZ_CHECK(text::isValidUtf8(latin) && latin.size() <= 2 * size);

    const std::string clean = text::sanitizeUtf8(bytes);
    FUZZ_CHECK(text::isValidUtf8(clean) && clean.size() <= 3 * size);
    if (text::isValidUtf8(bytes))
        FUZZ_CHECK(clean == bytes);
    FUZZ_CHECK(text::sanitizeUtf8(clean) == clean);

    for (const bool bigEndian : {false, true}) {
        const std::string wide = text::utf16ToUtf8(bytes, bigEndian);
        FUZZ_CHECK(text::isValidUtf8(wide) && wide.size() <= 2 * size + 3);
    }

    const std::string file = text::decodeFileText(bytes);
    FUZZ_CHECK(text::isValidUtf8(file));
    const text::ByteOrderMark mark = text::detectByteOrderMark(bytes);
    if (mark == text::ByteOrderMark::Utf8)
        FUZZ_CHECK(file == text::sanitizeUtf8(bytes.substr(3)));
    if (mark == text::ByteOrderMark::None)
        FUZZ_CHECK(file == gbk);
    return 0;
}
