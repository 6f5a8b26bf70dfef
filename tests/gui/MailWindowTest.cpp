// The bulk mail window, driven through its real widgets against the stand-in SMTP service.
#include "Controls.h"
#include "SmtpStandin.h"
#include "TempFolder.h"

#include "core/net/ConnectTo.h"
#include "gui/ErrorBox.h"
#include "gui/MailWindow.h"
#include "gui/AppWindows.h"
#include "gui/Runner.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace kaldrani::gui;

namespace fs = std::filesystem;

namespace {

class MailWindowTest : public ::testing::Test {
protected:
    MailWindowTest()
    {
        m_standin = std::make_unique<kaldrani::standin::SmtpStandin>(m_folder);
        routePort25To(m_standin->port());
        setApplicationErrorSink([this](const QString& message) { m_errors << message; });
        w = std::make_unique<kaldrani::gui::MailWindow>(m_runner);
        // The status line's every text, with the button's state at that moment.
        const QPushButton* send = control<QPushButton>(w, "sendButton");
        QObject::connect(control<QLineEdit>(w, "statusLine"), &QLineEdit::textChanged, [this, send](const QString& text) {
            m_statuses << text;
            m_buttonWhileStatus << (send->isEnabled() ? QString() : send->text());
        });
    }
    ~MailWindowTest() override
    {
        w.reset();
        setApplicationErrorSink({});
        kaldrani::net::clearConnectToRules();
        m_standin.reset();
    }

    static void routePort25To(int port)
    {
        kaldrani::net::clearConnectToRules();
        kaldrani::net::addConnectToRules({{"", "25", "127.0.0.1", std::to_string(port)}});
    }

    void fillAll(const QString& list)
    {
        control<QPlainTextEdit>(w, "recipientList")->setPlainText(list);
        control<QLineEdit>(w, "serverEdit")->setText(QStringLiteral("localhost"));
        control<QLineEdit>(w, "userEdit")->setText(QStringLiteral("mailer"));
        control<QLineEdit>(w, "passwordEdit")->setText(QStringLiteral("secret"));
        control<QLineEdit>(w, "senderAddressEdit")->setText(QStringLiteral("sender@example.com"));
        control<QLineEdit>(w, "senderNameEdit")->setText(QStringLiteral("发送者"));
        control<QLineEdit>(w, "subjectEdit")->setText(QStringLiteral("新年好"));
        control<QPlainTextEdit>(w, "bodyEdit")->setPlainText(QStringLiteral("第一行\n.\n最后"));
    }

    void expectIdle()
    {
        EXPECT_TRUE(control<QPushButton>(w, "sendButton")->isEnabled());
        EXPECT_EQ(control<QPushButton>(w, "sendButton")->text(), QStringLiteral("开始发送"));
    }

    kaldrani::testing::TempFolder m_temp;
    const fs::path& m_folder = m_temp.path();
    std::unique_ptr<kaldrani::standin::SmtpStandin> m_standin;
    kaldrani::gui::Runner m_runner;
    std::unique_ptr<kaldrani::gui::MailWindow> w;
    QStringList m_errors;
    QStringList m_statuses;
    QStringList m_buttonWhileStatus;
};

} // namespace

TEST_F(MailWindowTest, LaysOutEveryControl)
{
    EXPECT_EQ(w->windowTitle(), QStringLiteral("邮件群发"));
    EXPECT_EQ(w->size(), QSize(712, 508));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w->font().pointSize(), 8);
    EXPECT_EQ(w->font().families().value(0), QStringLiteral("Tahoma"));

    struct Case {
        const char* name;
        QRect place; // in its parent
    } const cases[] = {
        {"recipientList", {6, 16, 197, 443}}, {"serverEdit", {58, 16, 121, 21}},
        {"userEdit", {234, 16, 99, 21}},      {"passwordEdit", {378, 16, 99, 21}},
        {"senderAddressEdit", {90, 6, 151, 21}}, {"senderNameEdit", {356, 6, 121, 21}},
        {"subjectEdit", {6, 15, 471, 21}},    {"bodyEdit", {6, 18, 471, 293}},
        {"statusLine", {221, 473, 405, 21}},  {"sendButton", {632, 473, 75, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(control<QWidget>(w, c.name)->geometry(), c.place);
    }
    const auto groupOf = [](QWidget* widget) { return qobject_cast<QGroupBox*>(widget->parentWidget()); };
    EXPECT_EQ(groupOf(control<QPlainTextEdit>(w, "recipientList"))->title(), QStringLiteral("收件人地址列表"));
    EXPECT_EQ(groupOf(control<QPlainTextEdit>(w, "recipientList"))->geometry(), QRect(4, 8, 211, 486));
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "serverEdit"))->title(), QStringLiteral("SMTP 服务器设置"));
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "serverEdit"))->geometry(), QRect(221, 8, 486, 45));
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "senderAddressEdit"))->title(), QString());
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "senderAddressEdit"))->geometry(), QRect(221, 59, 486, 34));
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "subjectEdit"))->title(), QStringLiteral("邮件标题"));
    EXPECT_EQ(groupOf(control<QLineEdit>(w, "subjectEdit"))->geometry(), QRect(221, 99, 486, 43));
    EXPECT_EQ(groupOf(control<QPlainTextEdit>(w, "bodyEdit"))->title(), QStringLiteral("邮件内容"));
    EXPECT_EQ(groupOf(control<QPlainTextEdit>(w, "bodyEdit"))->geometry(), QRect(221, 148, 486, 317));

    QStringList labels;
    for (const QLabel* l : w->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"请按行输入邮件地址", "服务器：", "用户名：", "密码：", "发送者EMAIL：", "发送者称谓："})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;

    EXPECT_EQ(control<QLineEdit>(w, "passwordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(control<QLineEdit>(w, "statusLine")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(w, "statusLine")->text(), QStringLiteral("当前状态"));
    EXPECT_EQ(control<QLineEdit>(w, "statusLine")->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::red));
    expectIdle();

    QList<QWidget*> order;
    for (const char* name : {"recipientList", "serverEdit", "userEdit", "passwordEdit", "senderAddressEdit",
                             "senderNameEdit", "subjectEdit", "bodyEdit", "sendButton"})
        order << control<QWidget>(w, name);
    w->show();
    QApplication::setActiveWindow(w.get());
    control<QPlainTextEdit>(w, "recipientList")->setFocus();
    for (int i = 0; i + 1 < order.size(); ++i) {
        ASSERT_EQ(QApplication::focusWidget(), order[i]) << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), control<QPushButton>(w, "sendButton"));
}

TEST_F(MailWindowTest, MissingInputsShowTheirMessageAndSendNothing)
{
    struct Case {
        const char* input;
        const char* message;
    } const cases[] = {
        {"recipientList", "请输入邮件地址"},         {"serverEdit", "请输入服务器地址"},
        {"userEdit", "请输入用户名"},                {"passwordEdit", "请输入密码"},
        {"senderAddressEdit", "请输入发送者邮件地址"}, {"senderNameEdit", "请输入发送者称谓"},
        {"subjectEdit", "请输入邮件标题"},           {"bodyEdit", "请输入邮件内容"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fillAll(QStringLiteral("a@x.org"));
        QWidget* input = control<QWidget>(w, c.input);
        if (auto* e = qobject_cast<QLineEdit*>(input))
            e->clear();
        else
            qobject_cast<QPlainTextEdit*>(input)->clear();
        QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
        EXPECT_EQ(control<QLineEdit>(w, "statusLine")->text(), QString::fromUtf8(c.message));
        expectIdle();
    }
    // A text of blanks counts as filled.
    fillAll(QStringLiteral("a@x.org"));
    control<QLineEdit>(w, "senderNameEdit")->setText(QStringLiteral(" "));
    EXPECT_TRUE(w->checkInputs());
    EXPECT_EQ(m_standin->messagesWritten(), 0);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MailWindowTest, RunShowsEachLineAndEndsIdleTwiceInARow)
{
    fillAll(QStringLiteral("a@x.org\n\nb@refused.invalid\nc@y.org; d@z.org"));
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);

    const QStringList expected = {
        QStringLiteral("正在发送至：a@x.org"),
        QStringLiteral("正在发送至："),
        QStringLiteral("正在发送至：失败 !"),
        QStringLiteral("正在发送至：b@refused.invalid"),
        QStringLiteral("正在发送至：b@refused.invalid失败 !"),
        QStringLiteral("正在发送至：c@y.org; d@z.org"),
        QStringLiteral("发送完成...."),
    };
    EXPECT_EQ(m_statuses, expected);
    // Sending until the last line was done.
    for (int i = 0; i + 1 < m_buttonWhileStatus.size(); ++i)
        EXPECT_EQ(m_buttonWhileStatus[i], QStringLiteral("正在发送")) << i;
    expectIdle();
    EXPECT_TRUE(timerRan) << "the run processed no events";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
    EXPECT_EQ(m_standin->messagesWritten(), 2);
    EXPECT_FALSE(w->connected());

    // The first run ended with QUIT, so the second connects afresh.
    m_statuses.clear();
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_EQ(m_statuses, expected);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
    EXPECT_EQ(m_standin->messagesWritten(), 4);

    w->show();
    QTest::qWait(50);
    w->grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/mail-window.png"));
}

TEST_F(MailWindowTest, EveryLineFailingStillEndsTheRun)
{
    fillAll(QStringLiteral("x@refused.invalid\ny@refused.invalid"));
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_EQ(m_statuses.value(m_statuses.size() - 2), QStringLiteral("正在发送至：y@refused.invalid失败 !"));
    EXPECT_EQ(control<QLineEdit>(w, "statusLine")->text(), QStringLiteral("发送完成...."));
    expectIdle();
    EXPECT_EQ(m_standin->messagesWritten(), 0);
}

TEST_F(MailWindowTest, ConnectFailureShowsTheErrorBoxAndReturnsToIdle)
{
    int closedPort;
    {
        kaldrani::standin::SmtpStandin gone(m_folder / "gone");
        closedPort = gone.port();
    }
    routePort25To(closedPort);
    fillAll(QStringLiteral("a@x.org"));
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("Socket Error # 111\r\nConnection refused.")});
    expectIdle();
    EXPECT_FALSE(w->connected());

    // The server is back: the next run goes through.
    routePort25To(m_standin->port());
    m_errors.clear();
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_EQ(control<QLineEdit>(w, "statusLine")->text(), QStringLiteral("发送完成...."));
    EXPECT_EQ(m_standin->messagesWritten(), 1);
}

TEST_F(MailWindowTest, ANamedServerWithoutEncryptionGetsNoPassword)
{
    routePort25To(m_standin->port());
    fillAll(QStringLiteral("a@x.org"));
    control<QLineEdit>(w, "serverEdit")->setText(QStringLiteral("mail.example.test"));
    QTest::mouseClick(control<QPushButton>(w, "sendButton"), Qt::LeftButton);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("服务器不支持加密连接，密码未发送")});
    expectIdle();
    EXPECT_FALSE(w->connected());
    EXPECT_EQ(m_standin->messagesWritten(), 0);
}

TEST_F(MailWindowTest, CreatedSecondAndShownByTheMailButton)
{
    kaldrani::testing::TempFolder data;
    setSystemTrayAvailableOverride(true);
    {
        AppWindows windows(kaldrani::records::DataFolder(data.path()));
        ASSERT_TRUE(windows.mailWindow);
        ASSERT_TRUE(control<QToolButton>(windows.mainWindow, "mailButton")->isEnabled());
        QTest::mouseClick(control<QToolButton>(windows.mainWindow, "mailButton"), Qt::LeftButton);
        EXPECT_TRUE(windows.mailWindow->isVisible());
    }
    setSystemTrayAvailableOverride(std::nullopt);
}
