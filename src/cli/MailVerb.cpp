#include "cli/FailureLines.h"
#include "cli/Output.h"
#include "cli/TerminalText.h"
#include "cli/Verbs.h"

#include "core/mail/MailBody.h"
#include "core/mail/MailRun.h"
#include "core/records/FileError.h"
#include "core/records/FileIo.h"
#include "core/text/Encoding.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
    std::string failedFile;
    std::string tls = "auto";
    bool why = false;
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
        // Room made once: a string grown as it reads holds a large body one and a half times.
        std::error_code error;
        if (const auto size = std::filesystem::file_size(path, error); !error)
            bytes.reserve(size);
        char chunk[64 * 1024];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            bytes.append(chunk, static_cast<size_t>(in.gcount()));
    }
    if (text::detectByteOrderMark(bytes) == text::ByteOrderMark::Utf8)
        bytes.erase(0, 3);
    // A large body is held once: only text that needs mending is copied.
    if (text::isValidUtf8(bytes))
        return bytes;
    return text::sanitizeUtf8(bytes);
}

// Prints each status text as it is set, its terminal controls escaped (a list line may
// hold any byte); keeps the failure that ended the run and the lines that failed.
class PrintingMailView : public mail::MailView {
public:
    explicit PrintingMailView(bool why) : m_why(why) { }
    void setStatus(const std::string& text) override { writeStdout(terminalText(text, false) + "\n"); }
    void setRunning(bool) override { }
    void reportError(const std::string& message) override { m_error = message; }
    void lineFinished(const std::string& line, const std::string& failure) override
    {
        if (failure.empty()) {
            ++m_sent;
            return;
        }
        m_failed.push_back(line);
        if (m_why)
            std::cerr << terminalText(line, false) << "\t" << reasonLine(failure) << std::flush;
    }
    const std::string& error() const { return m_error; }
    int sent() const { return m_sent; }
    const std::vector<std::string>& failed() const { return m_failed; }

private:
    bool m_why;
    std::string m_error;
    int m_sent = 0;
    std::vector<std::string> m_failed;
};

// The failed lines, one per line, so the file serves as the next run's --list-file.
void writeFailedFile(const std::string& path, const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\n";
    try {
        records::fileio::replaceFile(path, bytes);
    } catch (const records::FileError& e) {
        throw CommandFailure(1, std::string("kaldrani-cli: --failed-file: ") + e.what());
    }
}

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

mail::TSmtpClient::TlsMode tlsMode(const std::string& name)
{
    using Mode = mail::TSmtpClient::TlsMode;
    if (name == "starttls")
        return Mode::StartTls;
    if (name == "implicit")
        return Mode::Implicit;
    if (name == "none")
        return Mode::None;
    return Mode::Auto;
}

} // namespace

Verb addMailVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "mail", "Send one message to every line of a recipient list through an SMTP server (port 25 unless given, "
                "encrypted when the server offers it, AUTH LOGIN or PLAIN); the password comes from "
                "KALDRANI_SMTP_PASSWORD and never goes in clear text to another machine unless --tls none. "
                "Ends with a summary line on stderr");
    auto o = std::make_shared<MailOptions>();
    command->add_option("--server", o->server, "SMTP server: host or host:port (465: TLS from the start)");
    command->add_option("--tls", o->tls,
                        "auto: TLS on port 465, STARTTLS when offered (required on 587); starttls: required; "
                        "implicit: TLS from the start; none: never encrypt, the password goes in clear text")
        ->check(CLI::IsMember({"auto", "starttls", "implicit", "none"}))
        ->default_str("auto");
    command->add_option("--user", o->user, "User name to sign in with");
    command->add_option("--from", o->from, "Sender address");
    command->add_option("--name", o->name, "Sender name, the display name of From (required)");
    command->add_option("--subject", o->subject, "Subject");
    command->add_option("--body-file", o->bodyFile, "The message body, UTF-8 (-: standard input)");
    command->add_option("--list-file", o->listFile, "Recipient lines, UTF-8, one message per line (-: standard input)");
    command->add_option("--failed-file", o->failedFile,
                        "Write the lines that failed to FILE, one per line, to retry them with --list-file");
    command->add_flag("--why", o->why, "Say on stderr why each line failed: the line, TAB, the reason on one line");

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
                try {
                    mail::parseServerName(inputs.serverName);
                } catch (const mail::SmtpError& e) {
                    throw CommandFailure(2, std::string("kaldrani-cli: --server: ") + e.what());
                }

                mail::TSmtpClient client;
                client.Tls = tlsMode(o->tls);
                if (client.Tls == mail::TSmtpClient::TlsMode::None)
                    std::cerr << "kaldrani-cli: mail: --tls none: nothing is encrypted, the password included\n";
                mail::TMailMessage message;
                PrintingMailView view(o->why);
                const std::string list = inputs.mailList;
                const bool ran = mail::runSendMail(client, message, std::move(inputs), view);
                // A run that ended early sent nothing: every line is still to be sent.
                const std::vector<std::string> failed = ran ? view.failed() : mail::splitLines(list);
                if (!o->failedFile.empty())
                    writeFailedFile(o->failedFile, failed);
                if (!ran)
                    std::cerr << "kaldrani-cli: " << errorText(view.error()) << "\n";
                std::cerr << "kaldrani-cli: mail: " << view.sent() << " sent, " << failed.size() << " failed\n";
                return ran ? 0 : 1;
            }};
}

} // namespace kaldrani::cli
