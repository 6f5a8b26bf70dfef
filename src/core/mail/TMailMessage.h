#pragma once

#include "core/mail/MailAddress.h"
#include "core/mail/MailCharset.h"

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
    std::vector<std::string> Body;
    // Unset: the system language's charset, looked up at each send.
    std::optional<MailCharset> CharSet;

    // From parsed as one address item.
    void setFrom(std::string_view text) { From = parseAddressItem(text); }
    // Recipients emptied, then parsed from the text as an address list.
    void setRecipients(std::string_view text) { Recipients = parseAddressList(text); }
    // Body split into lines at CR LF, LF or CR.
    void setBody(std::string_view text);
};

// The charset the message goes out in: preferred when it carries every character of the
// subject, the addresses and the body; otherwise UTF-8 with "B", so nothing turns into "?".
MailCharset chooseCharset(const TMailMessage& message, const MailCharset& preferred);

// Everything between DATA and the final ".": the header block (From, Subject, To, Date,
// plus the MIME headers when charset is UTF-8 but preferred was not), an empty line, the
// body lines converted and dot-stuffed, one more empty line; each line ends in CR LF.
std::string composeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date);

} // namespace kaldrani::mail
