#include "core/lookups/NewVersion.h"

#include <gtest/gtest.h>

#include <optional>

using kaldrani::lookups::parseVersionNumber;

TEST(VersionNumber, IsTheWholeBodyReadStrictly)
{
    struct Case {
        const char* name;
        const char* body;
        char separator;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"plain", "1.7", '.', 1.7},
        {"blanks around", "  1.7 ", '.', 1.7},
        {"integer", "2", '.', 2.0},
        {"signed", "+1.5", '.', 1.5},
        {"negative", "-3", '.', -3.0},
        {"exponent", "17e-1", '.', 1.7},
        {"upper exponent with sign", "1.7E+0", '.', 1.7},
        {"comma separator", "1,7", ',', 1.7},
        {"point where comma is the separator", "1.7", ',', std::nullopt},
        {"trailing line feed", "1.7\n", '.', std::nullopt},
        {"trailing CR LF", "1.7\r\n", '.', std::nullopt},
        {"leading tab", "\t1.7", '.', std::nullopt},
        {"empty", "", '.', std::nullopt},
        {"only blanks", "   ", '.', std::nullopt},
        {"sign alone", "-", '.', std::nullopt},
        {"separator alone", ".", '.', std::nullopt},
        {"exponent without digits", "1.7e", '.', std::nullopt},
        {"two separators", "1.7.1", '.', std::nullopt},
        {"html page", "<html><body>1.7</body></html>", '.', std::nullopt},
        {"inner blank", "1 .7", '.', std::nullopt},
        {"overflow", "1e999", '.', std::nullopt},
        {"hex", "0x10", '.', std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<double> got = parseVersionNumber(c.body, c.separator);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.expected);
        }
    }
}
