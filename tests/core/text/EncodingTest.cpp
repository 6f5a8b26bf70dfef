#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

using namespace kaldrani::text;

namespace {

TEST(Encoding, GbkRoundTrip)
{
    struct Case {
        const char* name;
        std::string utf8;
        std::string gbk;
    };
    const Case cases[] = {
        {"ascii", "abc 123", "abc 123"},
        {"chinese", "百度", "\xB0\xD9\xB6\xC8"},
        {"full-width colon", "：", "\xA3\xBA"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
    }
}

TEST(Encoding, UnrepresentableAndMalformedInputIsReplacedNeverThrown)
{
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
        bool toGbk;
    };
    const Case cases[] = {
        {"emoji has no GBK form", "a\xF0\x9F\x98\x80" "b", "a?b", true},
        {"euro sign is 0x80 as in code page 936", "\xE2\x82\xAC", "\x80", true},
        {"hangul has no GBK form", "\xED\x95\x9C", "?", true},
        {"broken UTF-8 byte", "a\xFF" "b", "a?b", true},
        {"truncated UTF-8 at end", "a\xE4\xB8", "a??", true},
        {"lone GBK lead byte at end", "a\xB0", "a\xEF\xBF\xBD", false},
        {"invalid GBK trail", "\xB0\x20" "x", "\xEF\xBF\xBD x", false},
        {"byte 0xFF", "\xFF", "\xEF\xBF\xBD", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.toGbk ? utf8ToGbk(c.input) : gbkToUtf8(c.input), c.expected);
    }
}

TEST(Encoding, DecodedTextIsAlwaysValidUtf8)
{
    std::string everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte += static_cast<char>(i);
    EXPECT_TRUE(isValidUtf8(gbkToUtf8(everyByte)));
    EXPECT_TRUE(isValidUtf8(latin1ToUtf8(everyByte)));
    EXPECT_TRUE(isValidUtf8(sanitizeUtf8(everyByte)));
    EXPECT_TRUE(isValidUtf8(utf16ToUtf8(everyByte, false)));
    EXPECT_TRUE(isValidUtf8(decodeFileText(everyByte)));
}

TEST(Encoding, Latin1IsOneCharacterPerByte)
{
    EXPECT_EQ(latin1ToUtf8("A\xE9\xFF"), "A\xC3\xA9\xC3\xBF");
    EXPECT_EQ(latin1ToUtf8(std::string("\0x", 2)), std::string("\0x", 2));
}

TEST(Encoding, Utf8Validation)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
        std::string sanitized;
    };
    const Case cases[] = {
        {"plain", "搜狗", true, "搜狗"},
        {"overlong slash", "\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate", "\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false,
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"stray continuation", "a\x80z", false, "a\xEF\xBF\xBDz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
        EXPECT_EQ(sanitizeUtf8(c.bytes), c.sanitized);
    }
}

TEST(Encoding, FileTextByByteOrderMark)
{
    struct Case {
        const char* name;
        std::string bytes;
        ByteOrderMark mark;
        std::string text;
    };
    const Case cases[] = {
        {"utf-8 mark", "\xEF\xBB\xBF" "百度,1", ByteOrderMark::Utf8, "百度,1"},
        {"utf-16le mark", std::string("\xFF\xFE\x7E\x76\xA6\x5E", 6), ByteOrderMark::Utf16LE, "百度"},
        {"utf-16be mark", std::string("\xFE\xFF\x76\x7E\x5E\xA6", 6), ByteOrderMark::Utf16BE, "百度"},
        {"utf-16le surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), ByteOrderMark::Utf16LE,
         "\xF0\x9F\x98\x80"},
        {"utf-16le odd trailing byte", std::string("\xFF\xFE" "a\0b", 5), ByteOrderMark::Utf16LE,
         "a\xEF\xBF\xBD"},
        {"no mark is GBK", "\xB0\xD9\xB6\xC8", ByteOrderMark::None, "百度"},
        {"empty", "", ByteOrderMark::None, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(detectByteOrderMark(c.bytes), c.mark);
        EXPECT_EQ(decodeFileText(c.bytes), c.text);
    }
}

TEST(Encoding, CaseAndTrimHelpers)
{
    EXPECT_EQ(asciiUpper("utf-8 百度"), "UTF-8 百度");
    EXPECT_EQ(asciiLower("Set-Cookie 百度"), "set-cookie 百度");
    EXPECT_TRUE(equalsIgnoreAsciiCase("Chunked", "CHUNKED"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("chunk", "chunked"));
    EXPECT_EQ(trimControls(" \t\r\n 12,345\r\n"), "12,345");
    EXPECT_EQ(trimControls(" \r\n "), "");
    EXPECT_EQ(trimView("\tclose \r"), "close");
}

} // namespace
