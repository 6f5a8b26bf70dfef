#include "Controls.h"
#include "ScriptedServer.h"
#include "ScriptedSmtpServer.h"
#include "core/lookups/IpQuery.h"
#include "core/lookups/WhoisQuery.h"
#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/records/DataFolder.h"
#include "core/records/History.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace kaldrani::gui;

using namespace kaldrani;
using kaldrani::testing::reply;
namespace kt = kaldrani::testing;

namespace {

constexpr auto kSilence = std::chrono::milliseconds(600);

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

std::string emptyPage()
{
    return "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
}

// Every window that waits on the network, while the service it asks stays silent for a
// while: its timers fire and it repaints throughout, and the run still ends as it would.
class WindowsWait : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        records::EnsureDataFolder(m_folder);
        records::saveSiteList(m_folder, "example.com\r\n");
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
        net::clearConnectToRules();
        // The first request of the run is answered only after the silence; the rest at once.
        net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(m_smtp.port())},
                                {"", "", "127.0.0.1", std::to_string(m_http.port())}});
        m_windows = std::make_unique<AppWindows>(m_folder);
        QSignalSpy ownAddress(m_windows->ipWindow.get(), &IpWindow::ownAddressSettled);
        ASSERT_TRUE(!ownAddress.isEmpty() || ownAddress.wait(5000));
        m_silentNext = true;
    }

    void TearDown() override
    {
        m_windows.reset();
        net::clearConnectToRules();
        setApplicationErrorSink({});
    }

    // Runs click with window shown and a timer repainting it every 20 ms; true when the
    // timer fired and the window was painted many times while the click's run waited.
    void expectLiveWhile(QWidget* window, const std::function<void()>& click)
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        PaintCounter painted(window);
        int ticks = 0;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, window, [&] {
            ++ticks;
            window->update();
        });
        timer.start();
        const auto started = std::chrono::steady_clock::now();
        click();
        const auto took = std::chrono::steady_clock::now() - started;
        timer.stop();
        EXPECT_GE(took, kSilence);
        // At 20 ms a tick, the silence alone leaves room for 30; a frozen window gets none.
        EXPECT_GE(ticks, 10);
        EXPECT_GE(painted.paints, 5);
        window->hide();
    }

    std::optional<kt::Reply> answerHttp(const std::string&)
    {
        if (m_silentNext.exchange(false))
            std::this_thread::sleep_for(kSilence);
        return reply(emptyPage());
    }

    kaldrani::testing::SmtpStep answerSmtp(const std::string&)
    {
        std::this_thread::sleep_for(kSilence);
        return {"421 closing\r\n", kaldrani::testing::SmtpStep::Then::Close};
    }

    QTemporaryDir m_dir;
    records::DataFolder m_folder{m_dir.path().toStdString()};
    std::atomic<bool> m_silentNext{false};
    kaldrani::testing::ScriptedServer m_http{[this](const std::string& r) { return answerHttp(r); }};
    kaldrani::testing::ScriptedSmtpServer m_smtp{"220 ready\r\n", [this](const std::string& c) { return answerSmtp(c); }};
    std::unique_ptr<AppWindows> m_windows;
    QStringList m_errors;
};

TEST_F(WindowsWait, MainWindowOverview)
{
    MainWindow& w = *m_windows->mainWindow;
    control<QComboBox>(w, "domainBox")->setEditText(QStringLiteral("example.com"));
    expectLiveWhile(&w, [&] { QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton); });
    EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
    // The run's record reached the history, as when it ran on the window's thread.
    EXPECT_EQ(records::ReadHistory(m_folder, "example.com").size(), 1u);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(WindowsWait, KeywordScan)
{
    KeywordWindow& w = *m_windows->keywordWindow;
    for (const SearchEngine e : kSearchEngines)
        engineControl<QCheckBox>(w, e, "Check")->setChecked(e == SearchEngine::Baidu);
    control<QComboBox>(w, "siteBox")->setEditText(QStringLiteral("example.com"));
    control<QLineEdit>(w, "keywordEdit")->setText(QStringLiteral("seo"));
    expectLiveWhile(&w, [&] { QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton); });
    EXPECT_EQ(control<QLineEdit>(w, "baiduResult")->text(), QStringLiteral("搜索排名第 0 位"));
    EXPECT_EQ(control<QLineEdit>(w, "bingResult")->text(), QStringLiteral("未选择"));
    EXPECT_TRUE(control<QPushButton>(w, "queryButton")->isEnabled());
}

TEST_F(WindowsWait, MailRun)
{
    MailWindow& w = *m_windows->mailWindow;
    control<QPlainTextEdit>(w, "recipientList")->setPlainText(QStringLiteral("a@example.test"));
    control<QLineEdit>(w, "serverEdit")->setText(QStringLiteral("mail.example.test"));
    control<QLineEdit>(w, "userEdit")->setText(QStringLiteral("mailer"));
    control<QLineEdit>(w, "passwordEdit")->setText(QStringLiteral("secret"));
    control<QLineEdit>(w, "senderAddressEdit")->setText(QStringLiteral("me@example.test"));
    control<QLineEdit>(w, "senderNameEdit")->setText(QStringLiteral("Me"));
    control<QLineEdit>(w, "subjectEdit")->setText(QStringLiteral("Hello"));
    control<QPlainTextEdit>(w, "bodyEdit")->setPlainText(QStringLiteral("Body"));
    expectLiveWhile(&w, [&] { QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton); });
    EXPECT_TRUE(control<QPushButton>(w, "sendButton")->isEnabled());
    // The refusal ended the run with the application's error box, as before.
    EXPECT_FALSE(m_errors.isEmpty());
    m_errors.clear();
}

TEST_F(WindowsWait, WhoisLookup)
{
    WhoisWindow& w = *m_windows->whoisWindow;
    control<QComboBox>(w, "domainBox")->setEditText(QStringLiteral("example.com"));
    expectLiveWhile(&w, [&] { QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton); });
    EXPECT_NE(control<QPlainTextEdit>(w, "recordBox")->toPlainText().toStdString(), lookups::kWhoisQuerying);
}

TEST_F(WindowsWait, IpLookup)
{
    IpWindow& w = *m_windows->ipWindow;
    control<QLineEdit>(w, "addressEdit")->setText(QStringLiteral("192.0.2.1"));
    expectLiveWhile(&w, [&] { QTest::mouseClick(control<QPushButton>(w, "queryButton"), Qt::LeftButton); });
    EXPECT_NE(control<QPlainTextEdit>(w, "resultBox")->toPlainText().toStdString(), lookups::kIpQuerying);
}

TEST(Runner, StoppingEndsARunWaitingOnASilentServiceAtOnce)
{
    // Answers nothing for a minute: only the stop can end the wait early.
    kaldrani::testing::ScriptedServer silent({kaldrani::testing::Reply{{}, kaldrani::testing::Reply::Then::Stall}});
    net::clearConnectToRules();
    std::atomic<bool> ended{false};
    const auto started = std::chrono::steady_clock::now();
    {
        gui::Runner runner;
        runner.run([&] {
            net::THttpClient client;
            client.ReadTimeout = 60000;
            try {
                client.FetchPage(silent.url());
            } catch (const net::NetError& e) {
                ended = e.kind() == net::NetError::Kind::Stopped;
            }
        });
        while (silent.requests().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(ended);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

} // namespace
