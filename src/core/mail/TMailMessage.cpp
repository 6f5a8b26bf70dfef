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

MailCharset chooseCharset(const TMailMessage& message, const MailCharset& preferred)
{
    const auto ascii = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    bool ok = ascii(message.From.address);
    for (const MailAddress& r : message.Recipients)
        ok = ok && ascii(r.address);
    if (!ok)
        return kUtf8;
    CharsetEncoder encoder(preferred.name);
    const auto carries = [&](std::string_view text) { return ascii(text) || encoder.encode(text).has_value(); };
    ok = carries(message.Subject) && carries(message.From.name);
    for (const MailAddress& r : message.Recipients)
        ok = ok && carries(r.name);
    // Line by line: one conversion of a large body would hold it twice.
    forEachLine(message.Body, [&](std::string_view line) { ok = ok && carries(line); });
    return ok ? preferred : kUtf8;
}

std::vector<std::string> quotedPrintableLines(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    // A soft break's "=" takes the 76th place.
    constexpr size_t kRoom = 75;
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool last = i + 1 == bytes.size();
        std::string piece;
        // A blank at the end of a line would be lost in transport.
        if ((b >= 33 && b <= 126 && b != '=') || ((b == ' ' || b == '\t') && !last)) {
            piece = static_cast<char>(b);
        } else {
            piece = {'=', hex[b >> 4], hex[b & 15]};
        }
        if (lines.back().size() + piece.size() > kRoom) {
            lines.back() += '=';
            lines.emplace_back();
        }
        lines.back() += piece;
    }
    return lines;
}

namespace {

// A header value is one line: a break in it would end the header there and start one of
// the sender's choosing.
std::string oneLine(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

MailAddress oneLine(const MailAddress& item)
{
    return {oneLine(item.name), oneLine(item.address)};
}

} // namespace

void writeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date,
                  const std::function<void(std::string_view)>& sink)
{
    const MailCharset charset = chooseCharset(message, preferred);
    CharsetEncoder encoder(charset.name);

    // Converting a line can at most double it (a charset's shift sequences); only lines
    // that may pass the limit are converted twice.
    bool quotedPrintable = false;
    forEachLine(message.Body, [&](std::string_view line) {
        quotedPrintable = quotedPrintable
                       || (line.size() * 2 > kMaxMessageLine && toCharset(encoder, line).size() > kMaxMessageLine);
    });

    MailAddress from = oneLine(message.From);
    if (from.name.empty())
        from.name = from.address;
    std::string to;
    for (const MailAddress& recipient : message.Recipients) {
        const MailAddress r = oneLine(recipient);
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
    header("Subject", encodeHeader(oneLine(message.Subject), charset));
    header("To", to);
    header("Date", oneLine(date));
    if (!(charset == preferred) || quotedPrintable) {
        out += "MIME-Version: 1.0\r\n"
               "Content-Type: text/plain; charset=" + charset.name + "\r\n"
               "Content-Transfer-Encoding: " + (quotedPrintable ? "quoted-printable" : "8bit") + "\r\n";
    }
    out += "\r\n";
    sink(out);
    forEachLine(message.Body, [&](std::string_view line) {
        if (quotedPrintable) {
            for (const std::string& piece : quotedPrintableLines(toCharset(encoder, line)))
                sink(dotStuff(piece) + "\r\n");
        } else {
            sink(dotStuff(toCharset(encoder, line)) + "\r\n");
        }
    });
    sink("\r\n");
}

std::string composeMessage(const TMailMessage& message, const MailCharset& preferred, const std::string& date)
{
    std::string out;
    writeMessage(message, preferred, date, [&](std::string_view piece) { out += piece; });
    return out;
}

} // namespace kaldrani::mail
