// SMTP replies: the server's lines, as the client reads them, made into a reply.
#include "FuzzSupport.h"

#include "core/mail/SmtpReply.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    for (const std::string_view line : fuzz::splitInput(fuzz::asText(data, size), "\r\n"))
        lines.emplace_back(line);
    const mail::SmtpReply reply = mail::parseSmtpReply(lines);
    FUZZ_CHECK(reply.code >= 0 && reply.code <= 999);
    FUZZ_CHECK(reply.lines.size() == lines.size());
    size_t textBytes = 0;
    bool blank = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        // A line's text is its own tail: never invented, never longer.
        const std::string& text = reply.lines[i];
        FUZZ_CHECK(text.size() + 4 <= lines[i].size() || text.empty());
        FUZZ_CHECK(std::string_view(lines[i]).ends_with(text));
        FUZZ_CHECK(text == mail::replyText(lines[i]));
        textBytes += text.size() + 2;
        blank = blank && text.find_first_not_of(" \t\r\n") == std::string::npos;
    }
    // The message is the text lines, or says the reply gave none: never empty.
    const std::string message = mail::replyErrorMessage(reply);
    FUZZ_CHECK(blank ? message == "The server replied " + std::to_string(reply.code) + " without a reason.\r\n"
                     : message.size() == textBytes);
    if (!lines.empty() && mail::endsReply(lines.front()))
        FUZZ_CHECK(lines.front().size() < 4 || lines.front()[3] == ' ');
    return 0;
}
