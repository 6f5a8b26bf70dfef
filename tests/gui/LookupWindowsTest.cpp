#include "Controls.h"
#include "LookupPages.h"
#include "SilentHost.h"
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "gui/AppWindows.h"
#include "gui/Runner.h"
#include "gui/ErrorBox.h"
#include "gui/IpWindow.h"
#include "gui/MainWindow.h"
#include "gui/WhoisWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <string>

using namespace kaldrani::gui;

using namespace kaldrani;

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The box's text as the user reads it: Qt keeps line breaks as "\n".
QString shown(const std::string& text)
{
    QString out = q(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QChar('\r'), QChar('\n'));
    return out;
}

std::string lines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

// Records the text of a box each time it is painted.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QPlainTextEdit* box) : m_box(box) { box->viewport()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            texts << m_box->toPlainText();
        return false;
    }
    QStringList texts;

private:
    QPlainTextEdit* m_box;
};

// Holds the own-address answer of the IP service until released; lookups are answered
// at once with the text asked.
class HeldOwnAddress {
public:
    explicit HeldOwnAddress(standin::StandinServer& server) : m_release(m_promise.get_future().share())
    {
        server.addRoute(endpoints::kMaker, "/ip/data/", [this](const standin::Request& r) {
            if (const auto asked = r.param("ip"))
                return standin::gbkPage("您查询的IP:" + *asked + "<br>来自:测试<br/>");
            m_asked.set_value();
            // Bounded, so a failing test cannot hang the server's stop.
            m_release.wait_for(std::chrono::seconds(20));
            return standin::gbkPage("您的IP是：203.0.113.25\t</div>");
        });
    }
    ~HeldOwnAddress() { release(); }

    // True once the own-address request has reached the service.
    bool asked() { return m_askedFuture.wait_for(std::chrono::seconds(5)) == std::future_status::ready; }
    void release()
    {
        if (!m_released)
            m_promise.set_value();
        m_released = true;
    }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_release;
    std::promise<void> m_asked;
    std::future<void> m_askedFuture = m_asked.get_future();
    bool m_released = false;
};

class LookupWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        net::clearConnectToRules();
        connectTo(m_server.port());
        m_savedBound = fetch::safetyReadTimeoutMs();
        fetch::setSafetyReadTimeoutMs(2000);
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
    }

    void TearDown() override
    {
        setApplicationErrorSink({});
        fetch::setSafetyReadTimeoutMs(m_savedBound);
        net::clearConnectToRules();
        EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(" | ").toStdString();
    }

    static void connectTo(int port)
    {
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(port)}});
    }

    void savePicture(QWidget* window, const char* name) const
    {
        EXPECT_TRUE(window->grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/") + QString::fromUtf8(name) + ".png"));
    }

    // Waits for the own-address answer of a window made in this test.
    static bool settled(QSignalSpy& spy) { return !spy.isEmpty() || spy.wait(10000); }

    QTemporaryDir m_dir;
    gui::Runner m_runner;
    records::DataFolder m_folder{m_dir.path().toStdString()};
    standin::StandinServer m_server;
    QStringList m_errors;
    int m_savedBound = 0;
};

TEST_F(LookupWindows, WhoisWindowLayout)
{
    WhoisWindow w(m_runner, m_folder);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), "域名查询");
    EXPECT_EQ(w.size(), QSize(361, 405));
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->geometry(), QRect(8, 8, 273, 20));
    EXPECT_TRUE(control<QComboBox>(w, "domainBox")->isEditable());
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->maxVisibleItems(), 8);
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->text(), "查 询");
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->geometry(), QRect(295, 8, 58, 25));
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->geometry(), QRect(8, 39, 345, 358));
    EXPECT_FALSE(control<QPlainTextEdit>(w, "recordBox")->isReadOnly());
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    control<QPlainTextEdit>(w, "recordBox")->setFocus();
    QTest::keyClicks(control<QPlainTextEdit>(w, "recordBox"), "a");
    QTest::keyClick(control<QPlainTextEdit>(w, "recordBox"), Qt::Key_Tab);
    QTest::keyClicks(control<QPlainTextEdit>(w, "recordBox"), "b");
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), "a\tb");
    EXPECT_TRUE(control<QPlainTextEdit>(w, "recordBox")->hasFocus());
}

TEST_F(LookupWindows, WhoisQueryShowsTheRecordOfTheTypedDomain)
{
    WhoisWindow w(m_runner, m_folder);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    control<QComboBox>(w, "domainBox")->setEditText("www.example.com");
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), shown("\r\n" + standin::whoisRecord("example.com")));
    ASSERT_FALSE(m_server.requests().empty());
    EXPECT_EQ(m_server.requests().back().target, "/cgi-bin/whois?domain=example.com");

    // Enter in the domain box presses the query button.
    control<QComboBox>(w, "domainBox")->setEditText("example.org");
    QTest::keyClick(control<QComboBox>(w, "domainBox")->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), shown("\r\n" + standin::whoisRecord("example.org")));

    savePicture(&w, "whois");

    // A service that fails leaves the failure text, and the window goes on.
    standin::Response broken = standin::gbkPage("<!-- start -->x友情提示");
    broken.status = 503;
    broken.reason = "Service Unavailable";
    m_server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", broken);
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), "\n网络超时，请稍后重试...");
}

TEST_F(LookupWindows, WhoisScrollBarComesPast27LinesAndStays)
{
    WhoisWindow w(m_runner, m_folder);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    struct Case {
        const char* name;
        int lines;
        Qt::ScrollBarPolicy after;
    };
    // The record's first line is the empty one after the start marker.
    const Case cases[] = {
        {"27 lines: still none", 26, Qt::ScrollBarAlwaysOff},
        {"28 lines: on", 27, Qt::ScrollBarAlwaysOn},
        {"then 2 lines: stays on", 1, Qt::ScrollBarAlwaysOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.setAnswer(endpoints::kWhois, "/cgi-bin/whois",
                           standin::gbkPage("<!-- start -->\n" + lines(c.lines) + "友情提示"));
        QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
        EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->verticalScrollBarPolicy(), c.after);
    }
}

TEST_F(LookupWindows, WhoisRecordWithCrLfLinesShowsOneBreakPerLine)
{
    WhoisWindow w(m_runner, m_folder);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Stored as CR CR LF, 27 lines with the empty first one: single-spaced, no scroll bar.
    std::string record = "<!-- start -->\r\n";
    for (int i = 1; i <= 26; ++i)
        record += "line " + std::to_string(i) + "\r\n";
    m_server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", standin::gbkPage(record + "友情提示"));
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    const QString shownRecord = control<QPlainTextEdit>(w, "recordBox")->toPlainText();
    EXPECT_TRUE(shownRecord.startsWith("\nline 1\nline 2\n")) << shownRecord.toStdString();
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->document()->blockCount(), 28) << "27 lines and the empty one after the last break";
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // A bare CR still breaks the line, as it always did; CR LF and LF alone give one break.
    m_server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", standin::gbkPage("<!-- start -->a\rb\r\r\nc\nd友情提示"));
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), "a\nb\nc\nd");
}

TEST_F(LookupWindows, WhoisRepaintsWhileItWaits)
{
    WhoisWindow w(m_runner, m_folder);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    standin::Response slow = standin::gbkPage("<!-- start -->x友情提示");
    slow.delayMs = 400;
    m_server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", slow);

    // The box's text at each of its paints, and a timer that fires during the wait and
    // asks for a paint: the window is not frozen.
    PaintedTexts painted(control<QPlainTextEdit>(w, "recordBox"));
    bool timerFired = false;
    QTimer::singleShot(50, &w, [&] {
        timerFired = true;
        control<QPlainTextEdit>(w, "recordBox")->viewport()->update();
    });
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_TRUE(timerFired);
    EXPECT_TRUE(painted.texts.contains("\n正在查询......")) << painted.texts.join(" | ").toStdString();
    EXPECT_EQ(control<QPlainTextEdit>(w, "recordBox")->toPlainText(), "x");
}

TEST_F(LookupWindows, WhoisListIsReloadedAtEveryShowing)
{
    records::EnsureDataFolder(m_folder);
    records::saveSiteList(m_folder, "a.com\r\nb.com\r\n");
    WhoisWindow w(m_runner, m_folder);
    const auto items = [&w] {
        QStringList out;
        for (int i = 0; i < control<QComboBox>(w, "domainBox")->count(); ++i)
            out << control<QComboBox>(w, "domainBox")->itemText(i);
        return out;
    };
    w.show();
    EXPECT_EQ(items(), QStringList({"a.com", "b.com"}));
    control<QComboBox>(w, "domainBox")->setEditText("typed.cn");
    w.hide();

    records::saveSiteList(m_folder, "c.com\r\n");
    w.show();
    EXPECT_EQ(items(), QStringList({"c.com"}));
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "typed.cn");
    w.hide();

    std::filesystem::remove(m_folder.siteListPath());
    w.show();
    EXPECT_TRUE(items().isEmpty());
    EXPECT_EQ(control<QComboBox>(w, "domainBox")->currentText(), "typed.cn");
}

TEST_F(LookupWindows, IpWindowLayoutAndOwnAddressAtFirstOpening)
{
    IpWindow w(m_runner);
    QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
    ASSERT_TRUE(settled(spy));
    EXPECT_TRUE(spy.first().first().toBool());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    EXPECT_EQ(w.windowTitle(), " IP地址查询");
    EXPECT_EQ(w.size(), QSize(282, 204));
    EXPECT_EQ(control<QLineEdit>(w, "addressEdit")->geometry(), QRect(8, 8, 185, 18));
    EXPECT_EQ(control<QLineEdit>(w, "addressEdit")->text(), "请输入IP地址或者域名");
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->text(), "查   询");
    EXPECT_EQ(control<QPushButton>(w, "queryButton")->geometry(), QRect(199, 8, 75, 25));
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->geometry(), QRect(8, 39, 266, 154));
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    const auto own = standin::placeOf(standin::kStandinOwnAddress);
    ASSERT_TRUE(own);
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), shown("您的IP是：203.0.113.25\r\n来自：" + own->region + " " + own->network));
    EXPECT_EQ(m_server.requests().front().target, "/ip/data/");
}

TEST_F(LookupWindows, IpOwnAddressFailureLeavesTheBoxEmpty)
{
    struct Case {
        const char* name;
        std::optional<standin::Response> answer; // none: the service cannot be reached
    };
    standin::Response notFound = standin::gbkPage("您的IP是：1.2.3.4\t</div>");
    notFound.status = 404;
    notFound.reason = "Not Found";
    standin::Response silent;
    silent.delayMs = 60000;
    const Case cases[] = {{"error status", notFound}, {"silent service", silent}, {"unreachable service", {}}};
    fetch::setSafetyReadTimeoutMs(200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kaldrani::testing::SilentHost unreachable;
        if (c.answer)
            m_server.setAnswer(endpoints::kMaker, "/ip/data/", *c.answer);
        else
            connectTo(unreachable.port());
        IpWindow w(m_runner);
        QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
        ASSERT_TRUE(settled(spy));
        w.show();
        EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), "");

        // The window stays usable.
        m_server.clearAnswers();
        connectTo(m_server.port());
        control<QLineEdit>(w, "addressEdit")->setText("192.0.2.1");
        QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
        const QString result = control<QPlainTextEdit>(w, "resultBox")->toPlainText();
        EXPECT_TRUE(result.startsWith("您查询的IP：192.0.2.1\n")) << result.toStdString();
    }
}

TEST_F(LookupWindows, IpLateOwnAddressNeverOverwritesALookup)
{
    HeldOwnAddress held(m_server);
    IpWindow w(m_runner);
    QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
    ASSERT_TRUE(held.asked());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    control<QLineEdit>(w, "addressEdit")->setText("http://192.0.2.1");
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), "您查询的IP：192.0.2.1\n来自：测试");

    held.release();
    ASSERT_TRUE(settled(spy));
    EXPECT_FALSE(spy.first().first().toBool());
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), "您查询的IP：192.0.2.1\n来自：测试");
}

TEST_F(LookupWindows, IpLookupResults)
{
    IpWindow w(m_runner);
    QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
    ASSERT_TRUE(settled(spy));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto host = standin::placeOf("example.com");
    ASSERT_TRUE(host);

    struct Case {
        const char* name;
        const char* typed;
        std::string target;
        std::string result;
    };
    const Case cases[] = {
        {"the hint is sent as typed", "请输入IP地址或者域名", "/ip/data/?ip=???IP??????", "查询失败 !"},
        {"empty box", "", "/ip/data/?ip=", "查询失败 !"},
        {"host name", "example.com", "/ip/data/?ip=example.com",
         "您查询的IP：" + host->address + "\r\n域名：example.com\r\n所在地区：" + host->region + "\r\n网络类型："
             + host->network},
        {"HTTP:// in capitals is sent", "HTTP://example.com", "/ip/data/?ip=HTTP://example.com", "查询失败 !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.clearRequests();
        control<QLineEdit>(w, "addressEdit")->setText(QString::fromUtf8(c.typed));
        QTest::keyClick(control<QLineEdit>(w, "addressEdit"), Qt::Key_Return);
        EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), shown(c.result));
        ASSERT_EQ(m_server.requests().size(), 1u);
        EXPECT_EQ(m_server.requests()[0].target, c.target);
    }

    control<QLineEdit>(w, "addressEdit")->setText("192.0.2.1");
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    savePicture(&w, "IP");

    fetch::setSafetyReadTimeoutMs(200);
    standin::Response silent;
    silent.delayMs = 60000;
    m_server.setAnswer(endpoints::kMaker, "/ip/data/", silent);
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w, "resultBox")->toPlainText(), "网络超时,请稍后重试...");
}

TEST_F(LookupWindows, IpHintGoesOnAClickOnly)
{
    IpWindow w(m_runner);
    QSignalSpy spy(&w, &IpWindow::ownAddressSettled);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QString hint = QStringLiteral("请输入IP地址或者域名");

    control<QPushButton>(w, "queryButton")->setFocus();
    QTest::keyClick(&w, Qt::Key_Backtab);
    EXPECT_TRUE(control<QLineEdit>(w, "addressEdit")->hasFocus());
    EXPECT_EQ(control<QLineEdit>(w, "addressEdit")->text(), hint);

    QTest::mouseClick(control<QLineEdit>(w, "addressEdit"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(w, "addressEdit")->text(), "");

    control<QLineEdit>(w, "addressEdit")->setText("192.0.2.1");
    QTest::mouseClick(control<QLineEdit>(w, "addressEdit"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(w, "addressEdit")->text(), "192.0.2.1");
    settled(spy);
}

TEST_F(LookupWindows, StartUpDoesNotWaitForTheIpService)
{
    records::EnsureDataFolder(m_folder);
    HeldOwnAddress held(m_server);
    setSystemTrayAvailableOverride(true);
    {
        AppWindows windows(m_folder);
        IpWindow& ip = *windows.ipWindow;
        QSignalSpy spy(&ip, &IpWindow::ownAddressSettled);
        windows.mainWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.mainWindow.get()));
        // The main window is up while the service still holds its answer.
        ASSERT_TRUE(held.asked());
        EXPECT_TRUE(spy.isEmpty());
        QTest::mouseClick(control<QToolButton>(windows.mainWindow, "ipButton"), Qt::LeftButton);
        EXPECT_TRUE(ip.isVisible());
        EXPECT_EQ(control<QPlainTextEdit>(ip, "resultBox")->toPlainText(), "");

        held.release();
        ASSERT_TRUE(settled(spy));
        EXPECT_EQ(control<QPlainTextEdit>(ip, "resultBox")->toPlainText(), "您的IP是：203.0.113.25");
    }
    setSystemTrayAvailableOverride(std::nullopt);
}

TEST_F(LookupWindows, UnreachableIpServiceDoesNotHoldStartUp)
{
    // Were the window to wait for the connect, making it would take the whole bound.
    fetch::setSafetyReadTimeoutMs(20000);
    const kaldrani::testing::SilentHost unreachable;
    connectTo(unreachable.port());
    const auto start = std::chrono::steady_clock::now();
    {
        // The program's runner goes with its windows: the own-address fetch must not hold
        // that up either.
        gui::Runner runner;
        IpWindow w(runner);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

} // namespace
