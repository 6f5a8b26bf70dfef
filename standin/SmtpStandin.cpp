#include "SmtpStandin.h"
#include "StandinTls.h"

#include "core/mail/Base64.h"
#include "core/text/Ascii.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace kaldrani::standin {

namespace {

constexpr std::string_view kRefusedDomain = "refused.invalid";
// A line longer than this is a broken client, not mail.
constexpr size_t kMaxLine = 1 << 20;

// One connection's socket with a read buffer; every wait also watches the stop pipe.
class Peer {
public:
    Peer(int fd, int wakeFd) : m_fd(fd), m_wakeFd(wakeFd) { }

    // Turns the connection into TLS; what was received before is dropped ([rfc3207] 4.2).
    // False when the handshake fails.
    bool startTls(SSL_CTX* context)
    {
        m_buffer.clear();
        m_searched = 0;
        m_tls = std::make_unique<TlsChannel>();
        return m_tls->accept(context, m_fd, m_wakeFd, -1);
    }
    bool isTls() const { return m_tls != nullptr; }

    // One line without its CR LF; false when the peer left or the service stops.
    bool readLine(std::string& line)
    {
        for (;;) {
            const size_t lf = m_buffer.find('\n', m_searched);
            if (lf != std::string::npos) {
                size_t end = lf;
                if (end > 0 && m_buffer[end - 1] == '\r')
                    --end;
                line.assign(m_buffer, 0, end);
                m_buffer.erase(0, lf + 1);
                m_searched = 0;
                return true;
            }
            if (m_buffer.size() > kMaxLine)
                return false;
            m_searched = m_buffer.size();
            char chunk[16384];
            if (m_tls) {
                const size_t n = m_tls->read(chunk, sizeof chunk);
                if (n == 0)
                    return false;
                m_buffer.append(chunk, n);
                continue;
            }
            pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (p[1].revents != 0)
                return false;
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    void send(std::string_view bytes)
    {
        if (m_tls) {
            m_tls->write(bytes);
            return;
        }
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }

private:
    int m_fd;
    int m_wakeFd;
    std::unique_ptr<TlsChannel> m_tls;
    std::string m_buffer;
    size_t m_searched = 0;
};

// The address between the angle brackets of "MAIL FROM:<...>" or "RCPT TO:<...>".
std::string pathOf(std::string_view argument)
{
    const size_t open = argument.find('<');
    const size_t close = argument.rfind('>');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open)
        return std::string(argument.substr(open + 1, close - open - 1));
    return std::string(text::trimView(argument));
}

bool refused(const std::string& address)
{
    const std::string lower = text::asciiLower(address);
    return lower.size() >= kRefusedDomain.size()
        && lower.compare(lower.size() - kRefusedDomain.size(), kRefusedDomain.size(), kRefusedDomain) == 0;
}

} // namespace

SmtpStandin::SmtpStandin(std::filesystem::path folder, int port, StandinAuthority* authority, int tlsPort)
    : m_folder(std::move(folder)), m_listener({.port = port, .backlog = 64, .reuseAddress = true}),
      m_authority(authority)
{
    if (authority)
        m_tlsListener.emplace(sys::LoopbackListener::Options{.port = tlsPort, .backlog = 64, .reuseAddress = true});
    std::filesystem::create_directories(m_folder);
    // Numbers go on after the messages of earlier runs, so none is overwritten.
    for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        if (std::sscanf(name.c_str(), "%d.eml", &number) == 1 && number >= m_next)
            m_next = number + 1;
    }
    m_acceptThread = std::thread([this] { acceptLoop(m_listener, false); });
    if (m_tlsListener)
        m_tlsAcceptThread = std::thread([this] { acceptLoop(*m_tlsListener, true); });
}

SmtpStandin::~SmtpStandin()
{
    stop();
}

void SmtpStandin::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    m_listener.wake();
    if (m_tlsListener)
        m_tlsListener->wake();
    m_acceptThread.join();
    if (m_tlsAcceptThread.joinable())
        m_tlsAcceptThread.join();
    // No new connection threads start once the accept loop has ended.
    for (std::thread& t : m_connections)
        t.join();
}

void SmtpStandin::acceptLoop(sys::LoopbackListener& from, bool implicitTls)
{
    while (sys::UniqueFd connection = from.accept()) {
        const int fd = connection.get();
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        std::lock_guard lock(m_mutex);
        m_connections.emplace_back(
            [this, implicitTls, owned = std::move(connection)] { serve(owned.get(), implicitTls); });
    }
}

int SmtpStandin::store(const std::string& from, const std::string& recipients, const std::string& data)
{
    int number;
    {
        std::lock_guard lock(m_mutex);
        number = m_next++;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%06d", number);
    const auto write = [&](const std::string& extension, const std::string& bytes) {
        // Written aside and renamed, so a reader never finds half a message.
        const std::filesystem::path target = m_folder / (name + extension);
        const std::filesystem::path temporary = m_folder / std::string(1, '.').append(name).append(extension).append(".part");
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        std::filesystem::rename(temporary, target);
    };
    write(".env", from + "\n" + recipients);
    write(".eml", data);
    ++m_written;
    return number;
}

void SmtpStandin::serve(int fd, bool implicitTls)
{
    // Every wait of every connection ends when the plain listener is woken by stop().
    Peer peer(fd, m_listener.wakeFd());
    if (implicitTls && !peer.startTls(m_authority->serverContext()))
        return;
    peer.send("220 kaldrani-standin ESMTP ready\r\n");
    std::string from;
    std::string recipients;
    bool haveSender = false;
    std::string line;
    while (peer.readLine(line)) {
        const std::string upper = text::asciiUpper(line);
        const auto is = [&](std::string_view verb) { return upper.rfind(verb, 0) == 0; };
        if (is("EHLO")) {
            peer.send(m_authority && !peer.isTls()
                          ? "250-kaldrani-standin\r\n250-STARTTLS\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n"
                          : "250-kaldrani-standin\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n");
        } else if (upper == "STARTTLS" && m_authority && !peer.isTls()) {
            peer.send("220 2.0.0 Ready to start TLS\r\n");
            if (!peer.startTls(m_authority->serverContext()))
                return;
            // [rfc3207] 4.2: the session starts over.
            from.clear();
            recipients.clear();
            haveSender = false;
        } else if (is("HELO")) {
            peer.send("250 kaldrani-standin\r\n");
        } else if (upper == "AUTH LOGIN" || is("AUTH LOGIN ")) {
            // [rfc4954] 4: the user name may come along as an initial response.
            std::string user(text::trimView(std::string_view(line).substr(10)));
            if (user.empty()) {
                peer.send("334 VXNlcm5hbWU6\r\n");
                if (!peer.readLine(user))
                    return;
            }
            std::string password;
            peer.send("334 UGFzc3dvcmQ6\r\n");
            if (!peer.readLine(password))
                return;
            // Any user gets in; only a reply that is not base64 is refused.
            if (mail::base64Decode(user) && mail::base64Decode(password))
                peer.send("235 2.7.0 Authentication successful\r\n");
            else
                peer.send("501 5.5.2 Cannot decode response\r\n");
        } else if (is("AUTH")) {
            peer.send("504 5.5.4 Unrecognized authentication type\r\n");
        } else if (is("MAIL FROM:")) {
            from = pathOf(std::string_view(line).substr(10));
            recipients.clear();
            haveSender = true;
            peer.send("250 2.1.0 Ok\r\n");
        } else if (is("RCPT TO:")) {
            const std::string to = pathOf(std::string_view(line).substr(8));
            if (!haveSender) {
                peer.send("503 5.5.1 Error: need MAIL command\r\n");
            } else if (refused(to)) {
                peer.send("550 5.1.1 <" + to + ">: Recipient address rejected\r\n");
            } else {
                recipients += to + "\n";
                peer.send("250 2.1.5 Ok\r\n");
            }
        } else if (upper == "DATA") {
            if (recipients.empty()) {
                peer.send("503 5.5.1 Error: need RCPT command\r\n");
                continue;
            }
            peer.send("354 End data with <CR><LF>.<CR><LF>\r\n");
            std::string data;
            std::string dataLine;
            for (;;) {
                if (!peer.readLine(dataLine))
                    return;
                if (dataLine == ".")
                    break;
                // [rfc5321] 4.5.2: the sender doubled a leading dot.
                if (!dataLine.empty() && dataLine[0] == '.')
                    dataLine.erase(0, 1);
                data += dataLine;
                data += "\r\n";
            }
            const int number = store(from, recipients, data);
            peer.send("250 2.0.0 Ok: queued as " + std::to_string(number) + "\r\n");
            from.clear();
            recipients.clear();
            haveSender = false;
        } else if (upper == "RSET") {
            from.clear();
            recipients.clear();
            haveSender = false;
            peer.send("250 2.0.0 Ok\r\n");
        } else if (upper == "NOOP") {
            peer.send("250 2.0.0 Ok\r\n");
        } else if (upper == "QUIT") {
            peer.send("221 2.0.0 Bye\r\n");
            return;
        } else {
            peer.send("502 5.5.2 Error: command not recognized\r\n");
        }
    }
}

} // namespace kaldrani::standin
