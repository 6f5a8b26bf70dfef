#include "core/mail/TMailMessage.h"

#include "core/mail/HeaderEncoding.h"
#include "core/mail/MailBody.h"

#include <algorithm>

namespace kaldrani::mail {

namespace {

const MailCharset kUtf8{"UTF-8", 'B'};

// Text bound for the header block or body: in the charset, with "?" for what it lacks.
std::string toCharset(CharsetEncoder& encoder, std::string_view utf8)
{
    if (auto bytes = encoder.encode(utf8))
        return std::move(*bytes);
    std::string out;
    for (const std::string_view c : utf8Characters(utf8))
        out += encoder.encode(c).value_or("?");
    return out;
}

} // namespace

void TMailMessage::setBody(std::string_view text)
{
    Body = splitLines(text);
}

MailCharset chooseCharset(const TMailMessage& message, const MailCharset& preferred)
{
    CharsetEncoder encoder(preferred.name);
    const auto carries = [&](std::string_view text) {
        for (const char c : text)
            if (static_cast<unsigned char>(c) >= 0x80)
                return encoder.encode(text).has_value();
        return true;
    };
    bool ok = carries(message.Subject) && carries(message.From.name) && carries(message.From.address);
    for (const MailAddress& r : message.Recipients)
        ok = ok && carries(r.name) && carries(r.address);
    for (const std::string& line : message.Body)
        ok = ok && carries(line);
    return ok ? preferred : kUtf8;
}

std::string composeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date)
{
    const MailCharset charset = chooseCharset(message, preferred);
    CharsetEncoder encoder(charset.name);

    MailAddress from = message.From;
    if (from.name.empty())
        from.name = from.address;
    std::string to;
    for (const MailAddress& r : message.Recipients) {
        if (!to.empty())
            to += ", ";
        to += r.name.empty() ? r.address : formatAddress(r, charset);
    }

    std::string out;
    const auto header = [&](std::string_view name, const std::string& value) {
        out += foldHeaderLine(toCharset(encoder, std::string(name) + ": " + value));
        out += "\r\n";
    };
    header("From", formatAddress(from, charset));
    // A line break in the subject would end the header there and start one of the
    // sender's choosing; a header value is one line.
    std::string subject = message.Subject;
    std::replace_if(subject.begin(), subject.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    header("Subject", encodeHeader(subject, charset));
    header("To", to);
    header("Date", date);
    if (!(charset == preferred)) {
        out += "MIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=UTF-8\r\n"
               "Content-Transfer-Encoding: 8bit\r\n";
    }
    out += "\r\n";
    for (const std::string& line : message.Body) {
        out += dotStuff(toCharset(encoder, line));
        out += "\r\n";
    }
    out += "\r\n";
    return out;
}

} // namespace kaldrani::mail
