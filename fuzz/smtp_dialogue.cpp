// The whole SMTP dialogue fed from a fake connection: the server's bytes in, the client's
// commands and message out, under every setting a caller changes. Whatever the server
// says and whatever the typed texts hold, every command is one line of at most 512
// octets with an address that cannot smuggle anything, and every message line at most 998.
#include "FuzzSupport.h"

#include "core/mail/MailBody.h"
#include "core/mail/MailRun.h"
#include "core/mail/TSmtpClient.h"

using namespace kaldrani;

namespace {

class QuietView : public mail::MailView {
public:
    void setStatus(const std::string&) override { }
    void setRunning(bool) override { }
    void reportError(const std::string&) override { }
};

const mail::MailCharset kCharsets[] = {{"GB2312", 'B'}, {"ISO-8859-1", 'Q'}, {"UTF-8", 'B'}, {"ISO-2022-JP", 'B'}};

// The path between the angle brackets of a MAIL FROM or RCPT TO line.
void checkPath(std::string_view line)
{
    const size_t open = line.find('<');
    const size_t close = line.rfind('>');
    FUZZ_CHECK(open != std::string_view::npos && close != std::string_view::npos && open < close);
    const std::string_view path = line.substr(open + 1, close - open - 1);
    FUZZ_CHECK(path.find_first_of("<>") == std::string_view::npos);
    const std::string_view rest = line.substr(close + 1);
    FUZZ_CHECK(rest.empty() || rest == " SMTPUTF8");
}

// Reads the client's bytes as a server would and checks every line.
void checkWire(const std::string& wire)
{
    FUZZ_CHECK(wire.empty() || wire.ends_with("\r\n"));
    bool inData = false;
    bool afterData = false;
    size_t start = 0;
    while (start < wire.size()) {
        const size_t end = wire.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        const std::string_view line(wire.data() + start, end - start);
        start = end + 2;
        // No lone CR or LF: a reader might take either for a line end.
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
        // The composed message always begins with its From header; a command never does.
        if (afterData && line.starts_with("From: "))
            inData = true;
        afterData = false;
        if (inData) {
            FUZZ_CHECK(line.size() <= mail::kMaxMessageLine);
            if (line == ".")
                inData = false;
            continue;
        }
        FUZZ_CHECK(line.size() + 2 <= mail::kMaxCommandLine);
        FUZZ_CHECK(line.find('\0') == std::string_view::npos);
        if (line.starts_with("MAIL FROM:") || line.starts_with("RCPT TO:"))
            checkPath(line);
        afterData = line == "DATA";
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the settings; then the server's bytes, the sender address, the recipient
    // lines, the subject, the body and the sender name, cut at "\n#field#\n".
    const uint8_t flags = data[0];
    std::vector<std::string_view> fields = fuzz::splitInput(fuzz::asText(data + 1, size - 1), "\n#field#\n");
    fields.resize(6);
    fuzz::FakeServer server({fields[0]});

    mail::TSmtpClient client;
    client.Host = "smtp.fuzz.example";
    client.Username = (flags & 1) ? "user" : "";
    client.Password = "secret";
    client.HeloName = (flags & 2) ? "client.fuzz.example" : "";
    client.ReadTimeout = (flags & 4) ? std::optional<int>(20) : std::nullopt;
    client.ReplyDeadline = 2000;
    client.TransferDeadline = 2000;
    mail::TMailMessage message;
    message.CharSet = kCharsets[(flags >> 3) & 3];

    if (flags & 32) {
        // The window's whole run, one send per recipient line.
        mail::MailInputs inputs{std::string(fields[2]), "smtp.fuzz.example", client.Username, "secret",
                                std::string(fields[1]),  std::string(fields[5]), std::string(fields[3]),
                                std::string(fields[4])};
        QuietView view;
        mail::runSendMail(client, message, inputs, view);
    } else {
        try {
            client.Connect();
            client.Authenticate();
            message.setFrom(fields[1]);
            message.From.name = std::string(fields[5]);
            message.Subject = std::string(fields[3]);
            message.setBody(std::string(fields[4]));
            for (const std::string& line : mail::splitLines(fields[2])) {
                message.setRecipients(line);
                try {
                    client.Send(message);
                } catch (const mail::SmtpReplyError&) {
                } catch (const mail::SmtpError&) {
                }
            }
        } catch (const mail::SmtpReplyError&) {
        } catch (const mail::SmtpError&) {
        } catch (const net::NetError&) {
        }
        client.Disconnect();
    }
    FUZZ_CHECK(!client.Connected());
    checkWire(server.received(0));
    return 0;
}
