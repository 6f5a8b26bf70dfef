#include "core/text/Encoding.h"
#include "core/text/Numbers.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace kaldrani::text;

TEST(Numbers, PortsAndIntegersAcceptOnlyTheirOwnRange)
{
    struct Case {
        const char* name;
        const char* text;
        std::optional<int> port;
        std::optional<int> integer;
    };
    const Case cases[] = {
        {"zero", "0", 0, 0},
        {"highest port", "65535", 65535, 65535},
        {"past the ports", "65536", std::nullopt, 65536},
        {"six digits though small", "000080", std::nullopt, 80},
        {"empty", "", std::nullopt, std::nullopt},
        {"sign", "+80", std::nullopt, 80},
        {"negative", "-80", std::nullopt, -80},
        {"lowest int", "-2147483648", std::nullopt, -2147483647 - 1},
        {"past the ints", "2147483648", std::nullopt, std::nullopt},
        {"past the ints below", "-2147483649", std::nullopt, std::nullopt},
        {"far past 64 bits", "99999999999999999999999", std::nullopt, std::nullopt},
        {"blank inside", "8 0", std::nullopt, std::nullopt},
        {"sign alone", "-", std::nullopt, std::nullopt},
        {"two signs", "+-1", std::nullopt, std::nullopt},
        {"full-width digit", "８", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsePort(c.text), c.port);
        EXPECT_EQ(parseInt32(c.text), c.integer);
    }
    EXPECT_EQ(parseDecimal("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(parseDecimal("18446744073709551616"), std::nullopt);
    EXPECT_EQ(parseDecimal("1000", 999), std::nullopt);
}

TEST(Numbers, HexDigitsInEitherCase)
{
    EXPECT_EQ(hexDigitValue('0'), 0);
    EXPECT_EQ(hexDigitValue('f'), 15);
    EXPECT_EQ(hexDigitValue('F'), 15);
    EXPECT_EQ(hexDigitValue('g'), -1);
    EXPECT_EQ(hexDigitValue('\xC0'), -1);
}

TEST(Encoding, Utf16EncoderRoundTripsAndReplacesBrokenSequences)
{
    const std::string text = "a\xE7\x99\xBE\xF0\x9F\x98\x80"; // a, 百, an emoji (a surrogate pair)
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        const std::string units = utf8ToUtf16(text, bigEndian);
        EXPECT_EQ(units.size(), 2u * 4u);
        EXPECT_EQ(utf16ToUtf8(units, bigEndian), text);
    }
    EXPECT_EQ(utf8ToUtf16("\xC0\x80", false), std::string("\xFD\xFF\xFD\xFF", 4)) << "an overlong is two bad bytes";
}

} // namespace
