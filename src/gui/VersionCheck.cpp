#include "gui/VersionCheck.h"

#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/text/Numbers.h"
#include "gui/MakerSite.h"

#include <QLocale>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <charconv>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kaldrani::gui {

namespace {

std::size_t skipDigits(std::string_view s, std::size_t i)
{
    while (i < s.size() && text::isAsciiDigit(s[i]))
        ++i;
    return i;
}

// A navigation that neither answers nor closes must not keep a socket for ever.
constexpr int kNavigationLimitMs = 30000;

} // namespace

std::optional<double> parseVersionNumber(std::string_view body, char decimalSeparator)
{
    std::size_t begin = 0;
    std::size_t end = body.size();
    while (begin < end && body[begin] == ' ')
        ++begin;
    while (end > begin && body[end - 1] == ' ')
        --end;
    const std::string_view s = body.substr(begin, end - begin);

    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    i = skipDigits(s, i);
    std::size_t mantissaDigits = i - intStart;
    std::size_t separatorAt = std::string_view::npos;
    if (i < s.size() && s[i] == decimalSeparator) {
        separatorAt = i;
        const std::size_t fracStart = ++i;
        i = skipDigits(s, i);
        mantissaDigits += i - fracStart;
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const std::size_t expStart = i;
        i = skipDigits(s, i);
        if (i == expStart)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;

    // from_chars knows neither a leading '+' nor any separator but the point.
    std::string text(s.substr(s[0] == '+' ? 1 : 0));
    if (separatorAt != std::string_view::npos)
        text[separatorAt - (s[0] == '+' ? 1 : 0)] = '.';
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

char localeDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode()) : '\0';
}

void HiddenBrowser::navigate(const QString& url)
{
    new HiddenBrowser(url);
}

HiddenBrowser::HiddenBrowser(const QString& url) : m_socket(new QTcpSocket(this))
{
    const QUrl address(url);
    const std::string host = address.host().toStdString();
    const int port = address.port(80);
    QString path = address.path(QUrl::FullyEncoded);
    if (path.isEmpty())
        path = QStringLiteral("/");
    m_request = "GET " + path.toUtf8() + " HTTP/1.1\r\nHost: " + QByteArray::fromStdString(host)
                + (port == 80 ? QByteArray() : ":" + QByteArray::number(port))
                + "\r\nAccept: */*\r\nConnection: close\r\n\r\n";

    connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_socket->readAll(); });
    connect(m_socket, &QTcpSocket::disconnected, this, &HiddenBrowser::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HiddenBrowser::finish);
    QTimer::singleShot(kNavigationLimitMs, this, &HiddenBrowser::finish);

    try {
        const net::ConnectTarget target = net::resolveConnectTarget(host, port);
        m_socket->connectToHost(QString::fromStdString(target.host), static_cast<quint16>(target.port));
    } catch (...) {
        QTimer::singleShot(0, this, &HiddenBrowser::finish);
    }
}

void HiddenBrowser::finish()
{
    m_socket->disconnect(this);
    m_socket->abort();
    deleteLater();
}

bool newVersionPublished(const std::string& versionPage, int readTimeoutMs, char decimalSeparator)
{
    try {
        net::THttpClient client;
        client.ReadTimeout = readTimeoutMs;
        const std::string body = client.FetchPage(versionPage);
        const std::optional<double> published = parseVersionNumber(body, decimalSeparator);
        return published && kBuiltInVersion < *published;
    } catch (...) {
        return false;
    }
}

namespace {

// Where the worker leaves its answer: the reply object while it lives, else nowhere.
struct Mailbox {
    std::mutex lock;
    QObject* reply = nullptr;
};

// Lives on the receiver's thread as its child, so that it goes when the receiver goes; the
// worker posts to it, and a post to a deleted object is dropped with it.
class CheckReply : public QObject {
public:
    CheckReply(QObject* receiver, std::shared_ptr<Mailbox> mailbox, std::function<void(bool)> done)
        : QObject(receiver), m_mailbox(std::move(mailbox)), m_done(std::move(done))
    {
        m_mailbox->reply = this;
    }
    ~CheckReply() override
    {
        const std::lock_guard guard(m_mailbox->lock);
        m_mailbox->reply = nullptr;
    }
    void deliver(bool published)
    {
        const auto done = std::move(m_done);
        deleteLater();
        if (done)
            done(published);
    }

private:
    std::shared_ptr<Mailbox> m_mailbox;
    std::function<void(bool)> m_done;
};

} // namespace

void checkForNewVersion(QObject* receiver, int readTimeoutMs, std::function<void(bool)> done)
{
    HiddenBrowser::navigate(makerVersionPage());
    auto mailbox = std::make_shared<Mailbox>();
    new CheckReply(receiver, mailbox, std::move(done));
    // Read on this thread: QLocale's default and the page address belong to the GUI side.
    const std::string page = makerVersionPage().toStdString();
    const char separator = localeDecimalSeparator();
    std::thread([mailbox, page, readTimeoutMs, separator] {
        const bool published = newVersionPublished(page, readTimeoutMs, separator);
        const std::lock_guard guard(mailbox->lock);
        if (auto* reply = static_cast<CheckReply*>(mailbox->reply))
            QMetaObject::invokeMethod(reply, [reply, published] { reply->deliver(published); }, Qt::QueuedConnection);
    }).detach();
}

} // namespace kaldrani::gui
