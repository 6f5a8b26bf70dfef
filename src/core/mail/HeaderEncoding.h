#pragma once

#include "core/mail/MailAddress.h"
#include "core/mail/MailCharset.h"

#include <string>
#include <string_view>

// [rfc2047] encoded words and [rfc5322] 2.2.3 folding for the header block.
namespace kaldrani::mail {

// The characters that make a display name's word need encoding, besides controls and
// non-ASCII.
inline constexpr std::string_view kAddressSpecials = "()[]<>:;.,@\\\"";

// The text with every longest run of words that need encoding (a character below U+0020,
// above U+007E or among specials, or longer than 900 octets) replaced by encoded words of at most 75 characters,
// each of whole characters, joined by CR LF and a blank; other words unchanged. A
// character the charset cannot carry becomes "?".
std::string encodeHeader(std::string_view text, const MailCharset& charset, std::string_view specials = {});

// The display name quoted ("\" and quotes escaped) when it is printable ASCII with no
// word over 900 octets, else
// header-encoded, then a blank and the address in angle brackets.
std::string formatAddress(const MailAddress& item, const MailCharset& charset);

// One header line wrapped so that no piece is longer than maxLength where a blank, tab or
// comma allows it: continuation lines begin with a blank, joined by CR LF. Lines already
// joined by CR LF are wrapped each on its own. Breaks only inside the value, after "Name: ".
std::string foldHeaderLine(std::string_view line, size_t maxLength = 78);

} // namespace kaldrani::mail
