#include "core/mail/TSmtpClient.h"

#include "core/mail/Base64.h"
#include "core/mail/MailCharset.h"
#include "core/mail/MailDate.h"
#include "core/text/Ascii.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

namespace kaldrani::mail {

namespace {

// Longer reply lines than [rfc5321] 4.5.3.1.5 allows are a broken peer, not a reply.
constexpr size_t kMaxReplyLine = 16384;
// QUIT is a courtesy: a server that does not answer it soon is left.
constexpr int kQuitWaitMs = 2000;

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

SmtpReply TSmtpClient::readReply()
{
    std::vector<std::string> lines;
    std::string line;
    for (;;) {
        net::TcpConnection::LineResult result;
        try {
            result = m_connection.readLine(line, ReadTimeout, kMaxReplyLine);
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
        lines.push_back(line);
        if (endsReply(line))
            return parseSmtpReply(lines);
    }
}

SmtpReply TSmtpClient::command(const std::string& line)
{
    if (!m_connected)
        throw SmtpError("Not connected.");
    try {
        m_connection.sendAll(line + "\r\n", ReadTimeout);
    } catch (const net::NetError&) {
        dropConnection();
        throw;
    }
    return readReply();
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
    m_connected = false;
    m_authenticated = false;
}

void TSmtpClient::Connect()
{
    if (m_connected)
        throw SmtpError("Already connected.");
    m_authenticated = false;
    m_connection.open(Host, Port, ConnectTimeout);
    m_connected = true;
    try {
        const SmtpReply greeting = readReply();
        if (greeting.code != 220)
            throw SmtpReplyError(greeting);
        m_capabilities.clear();
        const std::string name = HeloName.empty() ? localHostName() : HeloName;
        const SmtpReply ehlo = command("EHLO " + name);
        if (ehlo.code == 250)
            m_capabilities.assign(ehlo.lines.begin() + 1, ehlo.lines.end());
        else
            expect("HELO " + name, {250});
    } catch (...) {
        dropConnection();
        throw;
    }
}

bool TSmtpClient::Authenticate()
{
    if (m_authenticated)
        return true;
    if (Username.empty())
        return false;
    const std::vector<std::string> mechanisms = authMechanisms(m_capabilities);
    if (std::find(mechanisms.begin(), mechanisms.end(), "LOGIN") == mechanisms.end())
        return false;
    expect("AUTH LOGIN", {334});
    expect(base64Encode(lowBytes(Username)), {334});
    expect(base64Encode(lowBytes(Password)), {235});
    m_authenticated = true;
    return true;
}

namespace {

// An address goes into a command line: a line break in it would start a command of its own.
const std::string& commandSafe(const std::string& address)
{
    if (address.find_first_of("\r\n") != std::string::npos)
        throw SmtpError("Invalid address: " + address.substr(0, address.find_first_of("\r\n")));
    return address;
}

} // namespace

void TSmtpClient::Send(const TMailMessage& message)
{
    Authenticate();
    command("RSET");
    expect("MAIL FROM: <" + commandSafe(message.From.address) + ">", {250});
    const MailCharset charset = message.CharSet ? *message.CharSet : systemMailCharset();
    try {
        for (const MailAddress& r : message.Recipients)
            expect("RCPT TO:<" + commandSafe(r.address) + ">", {250, 251});
        expect("DATA", {354});
        // One write for the whole message and its end, so no small segment waits on an ACK.
        std::string data = composeMessage(message, charset, formatMailDate(std::time(nullptr)));
        data += ".";
        expect(data, {250});
    } catch (const SmtpReplyError&) {
        try {
            command("RSET");
        } catch (const std::exception&) {
            // The refusal is what the caller needs to hear about.
        }
        throw;
    }
}

void TSmtpClient::Disconnect()
{
    if (m_connected) {
        const std::optional<int> readTimeout = ReadTimeout;
        ReadTimeout = ReadTimeout ? std::min(*ReadTimeout, kQuitWaitMs) : kQuitWaitMs;
        try {
            command("QUIT");
        } catch (const std::exception&) {
            // Closing is all that is left to do either way.
        }
        ReadTimeout = readTimeout;
    }
    dropConnection();
}

} // namespace kaldrani::mail
