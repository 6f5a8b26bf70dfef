#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// [rfc5321] 4.2 SMTP Replies, read line by line without a socket.
namespace kaldrani::mail {

// One reply: the code of its first line and the text of every line.
struct SmtpReply {
    int code = 0;                   // 0 when the first line starts with no three digits
    std::vector<std::string> lines; // each line's text, from its fifth character on
};

// A reply whose code the step did not expect. The message is the reply's text lines,
// each followed by CR LF ("The server replied CODE without a reason." when they are blank).
class SmtpReplyError : public std::runtime_error {
public:
    explicit SmtpReplyError(const SmtpReply& reply);
    int code() const { return m_code; }

private:
    int m_code;
};

// True when line ends a reply: shorter than four characters, or a space as the fourth.
bool endsReply(std::string_view line);

// The text of one reply line: from its fifth character on, a leading enhanced status
// code ("2.1.0 ") taken off.
std::string replyText(std::string_view line);

// The reply made of these lines (the last one ending it); code 0 when none.
SmtpReply parseSmtpReply(const std::vector<std::string>& lines);

// "text1\r\ntext2\r\n": how a reply error reads.
std::string replyErrorMessage(const SmtpReply& reply);

} // namespace kaldrani::mail
