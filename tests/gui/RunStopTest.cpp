// A window's run against services that stall: its Stop and the quit item end it, it writes
// no record of what it did not finish, the input it holds is dropped rather than queued,
// and the other windows take input meanwhile.
#include "Controls.h"
#include "ScriptedServer.h"
#include "ScriptedSmtpServer.h"
#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "core/records/FileError.h"
#include "core/records/History.h"
#include "core/records/KeywordHistory.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace kaldrani;
using namespace kaldrani::gui;
namespace kt = kaldrani::testing;

namespace {

using Clock = std::chrono::steady_clock;

class RunStop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        records::EnsureDataFolder(m_folder);
        records::saveSiteList(m_folder, "example.com\r\n");
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
        net::clearConnectToRules();
        net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(m_smtp.port())},
                                {"", "", "127.0.0.1", std::to_string(m_http.port())}});
        makeWindows();
    }

    // The windows anew, once the IP window's own-address fetch is answered; from then on
    // every HTTP or whois connection stalls until the client leaves.
    void makeWindows()
    {
        m_windows.reset();
        m_stall = false;
        m_windows = std::make_unique<AppWindows>(m_folder);
        QSignalSpy ownAddress(m_windows->ipWindow.get(), &IpWindow::ownAddressSettled);
        ASSERT_TRUE(!ownAddress.isEmpty() || ownAddress.wait(5000));
        m_stall = true;
    }

    void TearDown() override
    {
        m_windows.reset();
        net::clearConnectToRules();
        setApplicationErrorSink({});
    }

    // Calls then once cond holds, checking every 5 ms from the window thread's loop; gives up
    // after 10 s.
    static void when(std::function<bool()> cond, std::function<void()> then)
    {
        auto* timer = new QTimer;
        const auto started = Clock::now();
        QObject::connect(timer, &QTimer::timeout, [timer, cond = std::move(cond), then = std::move(then), started] {
            if (cond() || Clock::now() - started > std::chrono::seconds(10)) {
                timer->stop();
                timer->deleteLater();
                then();
            }
        });
        timer->start(5);
    }

    std::optional<kt::Reply> answerHttp(const std::string&)
    {
        if (m_stall)
            return kt::Reply{{}, kt::Reply::Then::Stall};
        return kt::reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    }

    // No AUTH offered, so a loopback server gets no password; each message takes
    // m_messageDelay to be taken, and the one numbered m_stallAtMessage (from 1) never is.
    kt::SmtpStep answerSmtp(const std::string& command)
    {
        if (command.starts_with("EHLO") || command.starts_with("HELO"))
            return {"250 hi\r\n"};
        if (command.starts_with("MAIL") || command.starts_with("RCPT") || command.starts_with("RSET"))
            return {"250 ok\r\n"};
        if (command == "DATA")
            return {"354 go on\r\n"};
        if (command == ".") {
            const int n = ++m_messages;
            if (n == m_stallAtMessage)
                return {"", kt::SmtpStep::Then::Stall};
            std::this_thread::sleep_for(m_messageDelay);
            return {"250 taken\r\n"};
        }
        if (command == "QUIT")
            return {"221 bye\r\n", kt::SmtpStep::Then::Close};
        return {"500 what\r\n"};
    }

    // Whether the listed site's history holds no record (a missing file holds none).
    bool noHistory() const
    {
        try {
            return records::ReadHistory(m_folder, "example.com").empty();
        } catch (const records::FileError&) {
            return true;
        }
    }

    int mailCommands() const
    {
        int n = 0;
        for (const std::string& c : m_smtp.commands())
            n += c.starts_with("MAIL FROM") ? 1 : 0;
        return n;
    }

    void fillMail(const QString& list)
    {
        MailWindow& w = *m_windows->mailWindow;
        control<QPlainTextEdit>(w, "recipientList")->setPlainText(list);
        control<QLineEdit>(w, "serverEdit")->setText(QStringLiteral("localhost"));
        control<QLineEdit>(w, "userEdit")->setText(QStringLiteral("mailer"));
        control<QLineEdit>(w, "passwordEdit")->setText(QStringLiteral("secret"));
        control<QLineEdit>(w, "senderAddressEdit")->setText(QStringLiteral("me@example.test"));
        control<QLineEdit>(w, "senderNameEdit")->setText(QStringLiteral("Me"));
        control<QLineEdit>(w, "subjectEdit")->setText(QStringLiteral("Hello"));
        control<QPlainTextEdit>(w, "bodyEdit")->setPlainText(QStringLiteral("Body"));
    }

    void prepareKeywordScan()
    {
        KeywordWindow& w = *m_windows->keywordWindow;
        for (const SearchEngine e : kSearchEngines)
            engineControl<QCheckBox>(w, e, "Check")->setChecked(e == SearchEngine::Baidu);
        control<QComboBox>(w, "siteBox")->setEditText(QStringLiteral("example.com"));
        control<QLineEdit>(w, "keywordEdit")->setText(QStringLiteral("seo"));
    }

    // The window's stop button, as a test finds it.
    static QPushButton* stopButtonOf(QWidget* window)
    {
        return window->findChild<QPushButton*>(QStringLiteral("stopButton"));
    }

    // Clicks the window's stop button once the double-click guard is over and more than
    // `after` HTTP connections have come; clicked says when.
    void stopOnceWaiting(QWidget* window, Clock::time_point& clicked, int after)
    {
        const auto started = Clock::now();
        when(
            [=, this] {
                return m_http.connections() > after
                       && Clock::now() - started > std::chrono::milliseconds(QApplication::doubleClickInterval() + 50);
            },
            [window, &clicked] {
                QPushButton* stop = stopButtonOf(window);
                ASSERT_NE(stop, nullptr);
                EXPECT_TRUE(stop->isVisible());
                clicked = Clock::now();
                QTest::mouseClick(stop, Qt::LeftButton);
            });
    }

    QTemporaryDir m_dir;
    records::DataFolder m_folder{m_dir.path().toStdString()};
    std::atomic<bool> m_stall{false};
    std::atomic<int> m_messages{0};
    int m_stallAtMessage = 0;
    std::chrono::milliseconds m_messageDelay{0};
    kt::ScriptedServer m_http{[this](const std::string& r) { return answerHttp(r); }};
    kt::ScriptedSmtpServer m_smtp{"220 ready\r\n", [this](const std::string& c) { return answerSmtp(c); }};
    std::unique_ptr<AppWindows> m_windows;
    QStringList m_errors;
};

TEST_F(RunStop, StopEndsAKeywordScanAtOnceAndKeepsNoRecord)
{
    prepareKeywordScan();
    KeywordWindow& w = *m_windows->keywordWindow;
    w.show();
    Clock::time_point clicked;
    stopOnceWaiting(&w, clicked, m_http.connections());
    QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton);
    const auto took = Clock::now() - clicked;
    RecordProperty("stop_to_idle_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The page's own limit is many seconds: only the stop ends the wait this soon.
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
    EXPECT_FALSE(stopButtonOf(&w)->isVisible());
    EXPECT_TRUE(records::readKeywordHistory(m_folder, "example.com").records.empty());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(RunStop, StopEndsAnOverviewAndKeepsNoHistory)
{
    MainWindow& w = *m_windows->mainWindow;
    control<QComboBox>(w, "domainBox")->setEditText(QStringLiteral("example.com"));
    w.show();
    Clock::time_point clicked;
    const int before = m_http.connections();
    stopOnceWaiting(&w, clicked, before);
    control<QPushButton>(w, "queryButton")->click();
    EXPECT_LT(Clock::now() - clicked, std::chrono::seconds(2));
    EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
    EXPECT_TRUE(control<QComboBox>(w, "domainBox")->isEnabled());
    EXPECT_TRUE(noHistory());
    // The stop came during the first count: the ones after it were never asked.
    EXPECT_EQ(m_http.connections(), before + 1);
}

TEST_F(RunStop, StoppedMailRunSaysHowManyWentOutAndSendsNoMore)
{
    m_stallAtMessage = 2;
    fillMail(QStringLiteral("a@x.org\nb@y.org\nc@z.org"));
    MailWindow& w = *m_windows->mailWindow;
    w.show();
    when([this] { return m_messages >= 2; },
         [&w] {
             QTest::qWait(QApplication::doubleClickInterval() + 50);
             QTest::mouseClick(stopButtonOf(&w), Qt::LeftButton);
         });
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(w, "statusLine")->text(), QStringLiteral("已停止发送，已发出 1 封"));
    EXPECT_TRUE(control<QPushButton>(w, "sendButton")->isEnabled());
    EXPECT_EQ(control<QPushButton>(w, "sendButton")->text(), QStringLiteral("开始发送"));
    // Give a late send every chance to show.
    QTest::qWait(200);
    EXPECT_EQ(mailCommands(), 2);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(RunStop, ClicksDuringARunAreDroppedNotReplayed)
{
    // A double click on the send button sends each message once.
    m_messageDelay = std::chrono::milliseconds(150);
    fillMail(QStringLiteral("a@x.org\nb@y.org"));
    MailWindow& mail = *m_windows->mailWindow;
    mail.show();
    QTimer::singleShot(30, [&mail] { QTest::mouseDClick(control<QPushButton>(mail, "sendButton"), Qt::LeftButton); });
    QTimer::singleShot(60, [&mail] { QTest::keyClick(control<QPushButton>(mail, "sendButton"), Qt::Key_Return); });
    QTest::mouseClick(control<QPushButton>(mail, "sendButton"), Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_EQ(mailCommands(), 2);
    EXPECT_EQ(m_smtp.connections(), 1);
    EXPECT_EQ(control<QLineEdit>(mail, "statusLine")->text(), QStringLiteral("发送完成...."));

    // Three clicks on the query button give one scan.
    prepareKeywordScan();
    KeywordWindow& keyword = *m_windows->keywordWindow;
    keyword.show();
    const int before = m_http.connections();
    // The run waits on a stalled page; the two later clicks come while it does.
    QTimer::singleShot(30, [&keyword] { QTest::mouseClick(control<QPushButton>(keyword, "queryButton"), Qt::LeftButton); });
    QTimer::singleShot(60, [&keyword] { QTest::mouseClick(control<QPushButton>(keyword, "queryButton"), Qt::LeftButton); });
    Clock::time_point clicked;
    stopOnceWaiting(&keyword, clicked, before);
    QTest::mouseClick(control<QPushButton>(keyword, "queryButton"), Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_EQ(m_http.connections(), before + 1);
}

TEST_F(RunStop, OtherWindowsTakeInputWhileOneRuns)
{
    prepareKeywordScan();
    KeywordWindow& keyword = *m_windows->keywordWindow;
    MainWindow& main = *m_windows->mainWindow;
    keyword.show();
    main.show();
    bool whoisShown = false;
    QString typedIntoWhois;
    QString keywordAfterTyping;
    Clock::time_point clicked;
    const int before = m_http.connections();
    when([&] { return m_http.connections() > before; },
         [&] {
             // The main window's whois button and the whois window's address box answer.
             QTest::mouseClick(control<QToolButton>(main, "whoisButton"), Qt::LeftButton);
             whoisShown = m_windows->whoisWindow->isVisible();
             QTest::keyClicks(control<QComboBox>(m_windows->whoisWindow, "domainBox"), QStringLiteral("abc"));
             typedIntoWhois = control<QComboBox>(m_windows->whoisWindow, "domainBox")->currentText();
             // The running window's own boxes do not.
             QTest::keyClicks(control<QLineEdit>(keyword, "keywordEdit"), QStringLiteral("xyz"));
             keywordAfterTyping = control<QLineEdit>(keyword, "keywordEdit")->text();
             stopOnceWaiting(&keyword, clicked, before);
         });
    QTest::mouseClick(control<QPushButton>(keyword, "queryButton"), Qt::LeftButton);
    EXPECT_TRUE(whoisShown);
    EXPECT_TRUE(typedIntoWhois.endsWith(QStringLiteral("abc"))) << typedIntoWhois.toStdString();
    EXPECT_EQ(keywordAfterTyping, QStringLiteral("seo"));
    EXPECT_EQ(control<QLineEdit>(keyword, "keywordEdit")->text(), QStringLiteral("seo"));
}

TEST_F(RunStop, QuitDuringEachWindowsRunEndsItAndWritesNothing)
{
    struct Case {
        const char* name;
        std::function<void(AppWindows&)> start;
        bool mail;
    };
    const Case cases[] = {
        {"overview",
         [](AppWindows& win) {
             control<QComboBox>(win.mainWindow, "domainBox")->setEditText(QStringLiteral("example.com"));
             control<QPushButton>(win.mainWindow, "queryButton")->click();
         },
         false},
        {"keyword",
         [this](AppWindows& win) {
             prepareKeywordScan();
             QTest::mouseClick(control<QPushButton>(win.keywordWindow, "queryButton"), Qt::LeftButton);
         },
         false},
        {"whois",
         [](AppWindows& win) {
             control<QComboBox>(win.whoisWindow, "domainBox")->setEditText(QStringLiteral("example.com"));
             QTest::mouseClick(control<QPushButton>(win.whoisWindow, "queryButton"), Qt::LeftButton);
         },
         false},
        {"ip",
         [](AppWindows& win) {
             control<QLineEdit>(win.ipWindow, "addressEdit")->setText(QStringLiteral("192.0.2.1"));
             QTest::mouseClick(control<QPushButton>(win.ipWindow, "queryButton"), Qt::LeftButton);
         },
         false},
        {"mail",
         [this](AppWindows& win) {
             fillMail(QStringLiteral("a@x.org\nb@y.org"));
             QTest::mouseClick(control<QPushButton>(win.mailWindow, "sendButton"), Qt::LeftButton);
         },
         true},
    };
    m_stallAtMessage = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeWindows();
        const auto contacts = [&] { return c.mail ? m_messages.load() : m_http.connections(); };
        const int before = contacts();
        bool quitAsked = false;
        AppWindows& win = *m_windows;
        QTimer::singleShot(0, [&] { c.start(win); });
        when([&] { return contacts() > before; },
             [&] {
                 quitAsked = contacts() > before;
                 control<QAction>(win.mainWindow, "quitAction")->trigger();
             });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(15000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_TRUE(quitAsked) << "the run reached its service before the quit";
        // The run ends as the windows go, stopped; nothing it did reaches a record.
        m_windows.reset();
        EXPECT_TRUE(noHistory());
        EXPECT_TRUE(records::readKeywordHistory(m_folder, "example.com").records.empty());
    }
    EXPECT_EQ(mailCommands(), 1);
}

} // namespace
