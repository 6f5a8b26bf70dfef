#pragma once

#include "core/mail/MailAddress.h"
#include "core/mail/MailCharset.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldrani::mail {

// The message a send run hands to the client once per recipient line.
class TMailMessage {
public:
    MailAddress From;
    std::vector<MailAddress> Recipients;
    std::string Subject;
    // The body text as set; it goes out as its lines (forEachLine). Kept as one text, not
    // a list of lines, so a large body is held once.
    std::string Body;
    // Unset: the system language's charset, looked up at each send.
    std::optional<MailCharset> CharSet;

    // From parsed as one address item.
    void setFrom(std::string_view text) { From = parseAddressItem(text); }
    // Recipients emptied, then parsed from the text as an address list.
    void setRecipients(std::string_view text) { Recipients = parseAddressList(text); }
    // The body, read as lines split at CR LF, LF or CR.
    void setBody(std::string text) { Body = std::move(text); }
};

// The charset the message goes out in: preferred when it carries every character of the
// subject, the addresses and the body; otherwise UTF-8 with "B", so nothing turns into "?".
// An address that is not ASCII always means UTF-8: [rfc6532] headers are UTF-8.
MailCharset chooseCharset(const TMailMessage& message, const MailCharset& preferred);

// [rfc5322] 2.1.1: the longest line of a message, CR LF not counted.
inline constexpr size_t kMaxMessageLine = 998;

// Everything between DATA and the final ".": the header block (From, Subject, To, Date,
// plus the MIME headers when charset is UTF-8 but preferred was not, or when a body line
// is longer than kMaxMessageLine and the body goes out quoted-printable), an empty line,
// the body lines converted and dot-stuffed, one more empty line; each line ends in CR LF.
// Line breaks inside a header value become blanks. Handed to sink in pieces of whole
// lines, so a large body is never held twice.
void writeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date,
                  const std::function<void(std::string_view)>& sink);

// writeMessage's pieces as one text.
std::string composeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date);

// [rfc2045] 6.7 one line of bytes as quoted-printable lines of at most 76 characters,
// each but the last ending in a soft break "="; without CR LF.
std::vector<std::string> quotedPrintableLines(std::string_view bytes);

} // namespace kaldrani::mail
