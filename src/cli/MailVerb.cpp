#include "cli/TerminalText.h"
#include "cli/Verbs.h"

#include "core/mail/MailRun.h"
#include "core/text/Encoding.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

namespace kaldrani::cli {

namespace {

struct MailOptions {
    std::string server;
    std::string user;
    std::string from;
    std::string name;
    std::string subject;
    std::string bodyFile;
    std::string listFile;
};

// A text file as UTF-8 ("-": standard input); a UTF-8 byte-order mark is dropped and
// malformed bytes become U+FFFD. No file named: an empty text, for the input check.
std::string readTextFile(const std::string& path, const char* option)
{
    if (path.empty())
        return {};
    std::string bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw CommandFailure(2, std::string("kaldrani-cli: ") + option + ": cannot read \"" + path
                                        + "\": " + std::strerror(errno));
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (text::detectByteOrderMark(bytes) == text::ByteOrderMark::Utf8)
        bytes.erase(0, 3);
    return text::sanitizeUtf8(bytes);
}

// Prints each status text as it is set; keeps the failure that ended the run.
class PrintingMailView : public mail::MailView {
public:
    void processPendingEvents() override { }
    void setStatus(const std::string& text) override { std::cout << text << std::endl; }
    void setSending(bool) override { }
    void reportError(const std::string& message) override { m_error = message; }
    const std::string& error() const { return m_error; }

private:
    std::string m_error;
};

// The system's messages end lines in CR LF; a terminal wants LF. A server's reply text is
// part of some messages, so its terminal controls are shown escaped.
std::string errorText(std::string text)
{
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return terminalText(text, true);
}

} // namespace

Verb addMailVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "mail", "Send one message to every line of a recipient list through an SMTP server (port 25, AUTH LOGIN); "
                "the password comes from KALDRANI_SMTP_PASSWORD");
    auto o = std::make_shared<MailOptions>();
    command->add_option("--server", o->server, "SMTP server host");
    command->add_option("--user", o->user, "User name to sign in with");
    command->add_option("--from", o->from, "Sender address");
    command->add_option("--name", o->name, "Sender name (required, never sent)");
    command->add_option("--subject", o->subject, "Subject");
    command->add_option("--body-file", o->bodyFile, "The message body, UTF-8 (-: standard input)");
    command->add_option("--list-file", o->listFile, "Recipient lines, UTF-8, one message per line (-: standard input)");

    return {command, [o]() -> int {
                if (o->bodyFile == "-" && o->listFile == "-")
                    throw CommandFailure(2, "kaldrani-cli: standard input can be only one of --body-file and --list-file");
                mail::MailInputs inputs;
                inputs.mailList = readTextFile(o->listFile, "--list-file");
                inputs.serverName = o->server;
                inputs.userName = o->user;
                if (const char* password = std::getenv("KALDRANI_SMTP_PASSWORD"))
                    inputs.password = password;
                inputs.mail = o->from;
                inputs.fname = o->name;
                inputs.title = o->subject;
                inputs.content = readTextFile(o->bodyFile, "--body-file");

                const std::string missing = mail::missingInputMessage(inputs);
                if (!missing.empty())
                    throw CommandFailure(2, missing);

                mail::TSmtpClient client;
                mail::TMailMessage message;
                PrintingMailView view;
                if (!mail::runSendMail(client, message, inputs, view))
                    throw CommandFailure(1, "kaldrani-cli: " + errorText(view.error()));
                return 0;
            }};
}

} // namespace kaldrani::cli
