#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

// The program's "ANSI code page" is code page 936 (GBK), fixed: the program is made for
// simplified-Chinese systems. Text inside the core is UTF-8; every function here that
// returns text returns valid UTF-8, because the regular-expression engine matches UTF-8
// characters and a page handed to it undecoded would match nothing.
namespace kaldrani::text {

// Converts UTF-8 text to GBK bytes. A character GBK cannot represent, and a byte of the
// input that forms no UTF-8 character, becomes "?". Never throws for bad input.
std::string utf8ToGbk(std::string_view text);

// Converts GBK bytes to UTF-8 text. A byte that starts no GBK character becomes U+FFFD.
std::string gbkToUtf8(std::string_view bytes);

// Decodes bytes one character per byte (0x00..0xFF to U+0000..U+00FF), as the string
// form of the page fetch does for a page that does not declare UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// Returns the bytes as UTF-8 text with every malformed sequence replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Decodes UTF-16 code units in the given byte order; an unpaired surrogate or a trailing
// odd byte becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Encodes UTF-8 text as UTF-16 code units in the given byte order, no byte-order mark;
// a malformed UTF-8 sequence becomes U+FFFD.
std::string utf8ToUtf16(std::string_view text, bool bigEndian);

// True for a byte that continues a UTF-8 sequence (10xxxxxx): never a character's start.
constexpr bool isUtf8Continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at the start of s, or 0 when there is none
// (RFC 3629 table, so overlongs and surrogates are rejected).
std::size_t utf8SequenceLength(std::string_view s);

// The byte-order mark a file starts with, if any.
enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };
ByteOrderMark detectByteOrderMark(std::string_view bytes);

// Decodes a whole data file: a UTF-8 or UTF-16 byte-order mark selects that encoding (the
// mark itself is dropped); a file without one is GBK.
std::string decodeFileText(std::string_view bytes);

} // namespace kaldrani::text
