#include "core/mail/TSmtpClient.h"

#include "core/mail/Base64.h"
#include "core/mail/MailCharset.h"
#include "core/mail/MailDate.h"
#include "core/text/Ascii.h"

#include <arpa/inet.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ctime>

namespace kaldrani::mail {

namespace {

// Longer reply lines than [rfc5321] 4.5.3.1.5 allows are a broken peer, not a reply.
constexpr size_t kMaxReplyLine = 16384;
// QUIT is a courtesy: a server that does not answer it soon is left.
constexpr int kQuitWaitMs = 2000;
// [rfc5321] 3.8: the server is closing the transmission channel.
constexpr int kClosing = 421;
// The message goes to the socket in pieces of about this size, never whole.
constexpr size_t kTransferChunk = 64 * 1024;
// [rfc8314] 3.3: submission with implicit TLS.
constexpr int kImplicitTlsPort = 465;
// [rfc6409] submission, where a client that finds no STARTTLS goes no further.
constexpr int kSubmissionPort = 587;

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The message needs [rfc6531] SMTPUTF8 when an address of its envelope is not ASCII.
bool needsSmtpUtf8(const TMailMessage& message)
{
    if (!isAscii(message.From.address))
        return true;
    return std::any_of(message.Recipients.begin(), message.Recipients.end(),
                       [](const MailAddress& r) { return !isAscii(r.address); });
}

// A deadline failure of the connection told in the mail client's own words.
template <typename F>
auto withDeadlineText(const char* text, F&& step)
{
    try {
        return step();
    } catch (const net::NetError& e) {
        if (e.kind() == net::NetError::Kind::Deadline)
            throw net::NetError(net::NetError::Kind::Deadline, text);
        throw;
    }
}

} // namespace

std::vector<std::string> authMechanisms(const std::vector<std::string>& capabilities)
{
    std::vector<std::string> mechanisms;
    for (const std::string& line : capabilities) {
        if (line.size() < 5 || !text::equalsIgnoreAsciiCase(std::string_view(line).substr(0, 4), "AUTH")
            || (line[4] != ' ' && line[4] != '='))
            continue;
        std::string rest = text::asciiUpper(std::string_view(line).substr(5));
        std::replace(rest.begin(), rest.end(), '=', ' ');
        size_t pos = 0;
        while (pos < rest.size()) {
            const size_t start = rest.find_first_not_of(' ', pos);
            if (start == std::string::npos)
                break;
            size_t end = rest.find(' ', start);
            if (end == std::string::npos)
                end = rest.size();
            mechanisms.push_back(rest.substr(start, end - start));
            pos = end;
        }
    }
    return mechanisms;
}

bool passwordMayGoInClear(const std::string& host)
{
    std::string name = text::asciiLower(host);
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name == "localhost" || name == "::1")
        return true;
    in_addr address{};
    // inet_aton would take "127.1" and "0x7f.1" too; only the dotted quad is a loopback name.
    return ::inet_pton(AF_INET, name.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

SmtpServerName parseServerName(const std::string& text, int defaultPort)
{
    const std::string_view typed = text::trimView(text);
    SmtpServerName server{std::string(typed), defaultPort};
    const size_t colon = typed.rfind(':');
    // More than one colon is an IPv6 literal without a port.
    if (colon != std::string_view::npos && typed.find(':') == colon) {
        const std::string_view digits = typed.substr(colon + 1);
        int port = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535)
            throw SmtpError("Invalid server: " + std::string(typed));
        server.host = std::string(typed.substr(0, colon));
        server.port = port;
    }
    if (server.host.empty())
        throw SmtpError("Invalid server: " + std::string(typed));
    return server;
}

std::string localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0')
        return name;
    utsname info{};
    if (::uname(&info) == 0 && info.nodename[0] != '\0')
        return info.nodename;
    return "localhost";
}

net::TcpConnection::Deadline TSmtpClient::deadlineIn(std::optional<long long> ms)
{
    if (!ms)
        return std::nullopt;
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms);
}

bool TSmtpClient::offers(std::string_view keyword) const
{
    return std::any_of(m_capabilities.begin(), m_capabilities.end(), [&](const std::string& line) {
        const std::string_view word = std::string_view(line).substr(0, line.find(' '));
        return text::equalsIgnoreAsciiCase(word, keyword);
    });
}

std::string TSmtpClient::addressProblem(const std::string& address) const
{
    // A control byte has no place in a path ([rfc5321] 4.1.2) and could break the command;
    // the address is shown only up to it.
    const auto control = std::find_if(address.begin(), address.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    const std::string shown(address.begin(), control);
    if (control != address.end() || address.find_first_of("<>") != std::string::npos)
        return "Invalid address: " + shown;
    if (!isAscii(address) && !offers("SMTPUTF8"))
        return "Invalid address: " + shown + " (not ASCII, and the server does not offer SMTPUTF8)";
    // "MAIL FROM:<" + address + "> SMTPUTF8" (the longer of the two commands) + CR LF.
    if (address.size() + 21 + 2 > kMaxCommandLine)
        return "Invalid address: too long for a command line";
    return {};
}

SmtpReply TSmtpClient::readReply(std::optional<int> waitMs)
{
    std::vector<std::string> lines;
    size_t bytes = 0;
    std::string line;
    for (;;) {
        net::TcpConnection::LineResult result;
        try {
            result = withDeadlineText("Reply deadline exceeded.",
                                      [&] { return m_connection.readLine(line, waitMs, kMaxReplyLine); });
        } catch (const net::NetError&) {
            dropConnection();
            throw;
        }
        if (result == net::TcpConnection::LineResult::TimedOut) {
            // A late reply would be taken for the next command's: the dialogue is lost.
            dropConnection();
            throw net::NetError::timedOut();
        }
        if (result == net::TcpConnection::LineResult::Closed) {
            dropConnection();
            throw net::NetError::closed();
        }
        bytes += line.size() + 2;
        if (lines.size() + 1 > kMaxReplyLines || bytes > kMaxReplyBytes) {
            dropConnection();
            throw net::NetError(net::NetError::Kind::TooLarge, "Reply too long.");
        }
        lines.push_back(line);
        if (endsReply(line))
            return parseSmtpReply(lines);
    }
}

void TSmtpClient::checkClosing(const SmtpReply& reply)
{
    if (reply.code != kClosing)
        return;
    dropConnection();
    m_closedBy = reply;
    throw SmtpReplyError(reply);
}

SmtpReply TSmtpClient::command(const std::string& line, std::optional<int> waitMs)
{
    if (!m_connection.isOpen())
        throw SmtpError("Not connected.");
    // A client's own line over the bound is refused here rather than by a strict server.
    const size_t lineEnd = line.find_first_of(std::string("\r\n\0", 3));
    if (line.size() + 2 > kMaxCommandLine || lineEnd != std::string::npos)
        throw SmtpError("Command line too long or broken: " + line.substr(0, std::min<size_t>(lineEnd, 16)) + "...");
    m_connection.setDeadline(deadlineIn(ReplyDeadline));
    try {
        withDeadlineText("Reply deadline exceeded.", [&] { m_connection.sendAll(line + "\r\n", waitMs); });
    } catch (const net::NetError&) {
        dropConnection();
        throw;
    }
    const SmtpReply reply = readReply(waitMs);
    checkClosing(reply);
    return reply;
}

SmtpReply TSmtpClient::expect(const std::string& line, std::initializer_list<int> codes)
{
    SmtpReply reply = command(line);
    if (std::find(codes.begin(), codes.end(), reply.code) == codes.end())
        throw SmtpReplyError(reply);
    return reply;
}

void TSmtpClient::dropConnection()
{
    m_connection.close();
    m_connection.setDeadline(std::nullopt);
    m_state = State::Closed;
    m_capabilities.clear();
}

void TSmtpClient::quitAndClose()
{
    try {
        command("QUIT", ReadTimeout ? std::min(*ReadTimeout, kQuitWaitMs) : kQuitWaitMs);
    } catch (const std::exception&) {
        // Closing is all that is left to do either way.
    }
    dropConnection();
}

void TSmtpClient::Connect()
{
    if (m_state != State::Closed)
        throw SmtpError("Already connected.");
    dropConnection();
    m_closedBy.reset();
    m_connection.open(Host, Port, ConnectTimeout);
    m_connection.setDeadline(deadlineIn(ReplyDeadline));
    // Greeted only once the server has said so; until then Connected() stays false.
    try {
        if (Tls == TlsMode::Implicit || (Tls == TlsMode::Auto && Port == kImplicitTlsPort))
            withDeadlineText("Reply deadline exceeded.", [&] { m_connection.startTls(Host, ReadTimeout); });
        const SmtpReply greeting = readReply(ReadTimeout);
        checkClosing(greeting);
        if (greeting.code != 220) {
            quitAndClose();
            throw SmtpReplyError(greeting);
        }
        const std::string name = HeloName.empty() ? localHostName() : HeloName;
        m_capabilities = greet(name);
        encryptIfAsked(name);
        m_state = State::Greeted;
    } catch (...) {
        dropConnection();
        throw;
    }
}

std::vector<std::string> TSmtpClient::greet(const std::string& heloName)
{
    const SmtpReply ehlo = command("EHLO " + heloName);
    if (ehlo.code == 250)
        return {ehlo.lines.begin() + 1, ehlo.lines.end()};
    const SmtpReply helo = command("HELO " + heloName);
    if (helo.code != 250) {
        quitAndClose();
        throw SmtpReplyError(helo);
    }
    return {};
}

void TSmtpClient::encryptIfAsked(const std::string& heloName)
{
    if (m_connection.isTls() || Tls == TlsMode::None)
        return;
    if (!offers("STARTTLS")) {
        if (Tls == TlsMode::StartTls || (Tls == TlsMode::Auto && Port == kSubmissionPort)) {
            quitAndClose();
            throw EncryptionUnavailable(kNoEncryptionMessage);
        }
        return;
    }
    const SmtpReply reply = command("STARTTLS");
    if (reply.code != 220) {
        quitAndClose();
        throw SmtpReplyError(reply);
    }
    m_connection.startTls(Host, ReadTimeout);
    // [rfc3207] 4.2: what the server said before the handshake may have been changed on the way.
    m_capabilities.clear();
    m_capabilities = greet(heloName);
}

bool TSmtpClient::Authenticate()
{
    if (m_state == State::SignedIn)
        return true;
    if (Username.empty())
        return false;
    const std::vector<std::string> mechanisms = authMechanisms(m_capabilities);
    const auto offered = [&](const char* name) {
        return std::find(mechanisms.begin(), mechanisms.end(), name) != mechanisms.end();
    };
    const bool login = offered("LOGIN");
    if (!login && !offered("PLAIN"))
        return false;
    // The typed name and the address connected must both be this machine's: a connect-to
    // rule may send "localhost" elsewhere.
    if (!m_connection.isTls() && Tls != TlsMode::None
        && !(passwordMayGoInClear(Host) && m_connection.peerIsLoopback()))
        throw EncryptionUnavailable(kPasswordNotSentMessage);
    if (login) {
        expect("AUTH LOGIN", {334});
        expect(base64Encode(lowBytes(Username)), {334});
        expect(base64Encode(lowBytes(Password)), {235});
    } else {
        // [rfc4616] no authorization identity: the server derives it from the user name.
        expect("AUTH PLAIN " + base64Encode(lowBytes(std::string(1, '\0') + Username + '\0' + Password)), {235});
    }
    m_state = State::SignedIn;
    return true;
}

SmtpReply TSmtpClient::transfer(const TMailMessage& message)
{
    const MailCharset charset = message.CharSet ? *message.CharSet : systemMailCharset();
    std::string pending;
    size_t written = 0;
    const auto flush = [&] {
        m_connection.sendAll(pending, ReadTimeout);
        written += pending.size();
        pending.clear();
    };
    // The deadline grows with the message: it is known only once the body is measured.
    const size_t bodyBytes = message.Body.size();
    const long long allowance = TransferDeadline ? *TransferDeadline + static_cast<long long>(bodyBytes) * 1000
                                                                          / std::max(TransferRate, 1)
                                                 : 0;
    m_connection.setDeadline(deadlineIn(TransferDeadline ? std::optional<long long>(allowance) : std::nullopt));
    try {
        withDeadlineText("Message transfer deadline exceeded.", [&] {
            writeMessage(message, charset, formatMailDate(std::time(nullptr)), [&](std::string_view bytes) {
                pending += bytes;
                if (pending.size() >= kTransferChunk)
                    flush();
            });
            pending += ".\r\n";
            flush();
        });
    } catch (const net::NetError&) {
        dropConnection();
        throw;
    }
    try {
        const SmtpReply reply
            = withDeadlineText("Message transfer deadline exceeded.", [&] { return readReply(ReadTimeout); });
        checkClosing(reply);
        return reply;
    } catch (const net::NetError&) {
        dropConnection();
        throw;
    }
}

void TSmtpClient::Send(const TMailMessage& message)
{
    if (m_state == State::Closed) {
        if (m_closedBy)
            throw SmtpReplyError(*m_closedBy);
        throw SmtpError("Not connected.");
    }
    // Every address is judged before the first command, so a refused one sends nothing.
    if (std::string problem = addressProblem(message.From.address); !problem.empty())
        throw SmtpError(problem);
    for (const MailAddress& r : message.Recipients)
        if (std::string problem = addressProblem(r.address); !problem.empty())
            throw SmtpError(problem);
    const std::string parameters = needsSmtpUtf8(message) ? " SMTPUTF8" : "";

    Authenticate();
    command("RSET");
    // [rfc5321] 4.1.2: no blank between the colon and the path.
    expect("MAIL FROM:<" + message.From.address + ">" + parameters, {250});
    try {
        for (const MailAddress& r : message.Recipients)
            expect("RCPT TO:<" + r.address + ">", {250, 251});
        expect("DATA", {354});
        const SmtpReply reply = transfer(message);
        if (reply.code != 250)
            throw SmtpReplyError(reply);
    } catch (const SmtpReplyError&) {
        if (m_state != State::Closed) {
            try {
                command("RSET");
            } catch (const std::exception&) {
                // The refusal is what the caller needs to hear about.
            }
        }
        throw;
    }
}

void TSmtpClient::Disconnect()
{
    if (m_state != State::Closed)
        quitAndClose();
    dropConnection();
}

} // namespace kaldrani::mail
