// The bulk mail window, driven through its real widgets against the stand-in SMTP service.
#include "SmtpStandin.h"
#include "TempFolder.h"

#include "core/net/ConnectTo.h"
#include "gui/ErrorBox.h"
#include "gui/mail.h"
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

class MailWindow : public ::testing::Test {
protected:
    MailWindow()
    {
        m_standin = std::make_unique<kaldrani::standin::SmtpStandin>(m_folder);
        routePort25To(m_standin->port());
        setApplicationErrorSink([this](const QString& message) { m_errors << message; });
        w = std::make_unique<TfrmMail>(m_runner);
        // The status line's every text, with the button's state at that moment.
        QObject::connect(w->txtState, &QLineEdit::textChanged, [this](const QString& text) {
            m_statuses << text;
            m_buttonWhileStatus << (w->btnSend->isEnabled() ? QString() : w->btnSend->text());
        });
    }
    ~MailWindow() override
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
        w->moMailList->setPlainText(list);
        w->txtServerName->setText(QStringLiteral("localhost"));
        w->txtUserName->setText(QStringLiteral("mailer"));
        w->txtPwd->setText(QStringLiteral("secret"));
        w->txtMail->setText(QStringLiteral("sender@example.com"));
        w->txtFname->setText(QStringLiteral("发送者"));
        w->txtTitle->setText(QStringLiteral("新年好"));
        w->txtContent->setPlainText(QStringLiteral("第一行\n.\n最后"));
    }

    void expectIdle()
    {
        EXPECT_TRUE(w->btnSend->isEnabled());
        EXPECT_EQ(w->btnSend->text(), QStringLiteral("开始发送"));
    }

    kaldrani::testing::TempFolder m_temp;
    const fs::path& m_folder = m_temp.path();
    std::unique_ptr<kaldrani::standin::SmtpStandin> m_standin;
    kaldrani::gui::Runner m_runner;
    std::unique_ptr<TfrmMail> w;
    QStringList m_errors;
    QStringList m_statuses;
    QStringList m_buttonWhileStatus;
};

} // namespace

TEST_F(MailWindow, LaysOutEveryControl)
{
    EXPECT_EQ(w->windowTitle(), QStringLiteral("邮件群发"));
    EXPECT_EQ(w->size(), QSize(712, 508));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w->font().pointSize(), 8);
    EXPECT_EQ(w->font().families().value(0), QStringLiteral("Tahoma"));

    struct Case {
        QWidget* widget;
        QRect place; // in its parent
    } const cases[] = {
        {w->moMailList, {6, 16, 197, 443}},    {w->txtServerName, {58, 16, 121, 21}}, {w->txtUserName, {234, 16, 99, 21}},
        {w->txtPwd, {378, 16, 99, 21}},        {w->txtMail, {90, 6, 151, 21}},        {w->txtFname, {356, 6, 121, 21}},
        {w->txtTitle, {6, 15, 471, 21}},       {w->txtContent, {6, 18, 471, 293}},    {w->txtState, {221, 473, 405, 21}},
        {w->btnSend, {632, 473, 75, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget->metaObject()->className());
        EXPECT_EQ(c.widget->geometry(), c.place);
    }
    const auto groupOf = [](QWidget* widget) { return qobject_cast<QGroupBox*>(widget->parentWidget()); };
    EXPECT_EQ(groupOf(w->moMailList)->title(), QStringLiteral("收件人地址列表"));
    EXPECT_EQ(groupOf(w->moMailList)->geometry(), QRect(4, 8, 211, 486));
    EXPECT_EQ(groupOf(w->txtServerName)->title(), QStringLiteral("SMTP 服务器设置"));
    EXPECT_EQ(groupOf(w->txtServerName)->geometry(), QRect(221, 8, 486, 45));
    EXPECT_EQ(groupOf(w->txtMail)->title(), QString());
    EXPECT_EQ(groupOf(w->txtMail)->geometry(), QRect(221, 59, 486, 34));
    EXPECT_EQ(groupOf(w->txtTitle)->title(), QStringLiteral("邮件标题"));
    EXPECT_EQ(groupOf(w->txtTitle)->geometry(), QRect(221, 99, 486, 43));
    EXPECT_EQ(groupOf(w->txtContent)->title(), QStringLiteral("邮件内容"));
    EXPECT_EQ(groupOf(w->txtContent)->geometry(), QRect(221, 148, 486, 317));

    QStringList labels;
    for (const QLabel* l : w->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"请按行输入邮件地址", "服务器：", "用户名：", "密码：", "发送者EMAIL：", "发送者称谓："})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;

    EXPECT_EQ(w->txtPwd->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(w->txtState->isEnabled());
    EXPECT_EQ(w->txtState->text(), QStringLiteral("当前状态"));
    EXPECT_EQ(w->txtState->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::red));
    expectIdle();

    const QList<QWidget*> order = {w->moMailList, w->txtServerName, w->txtUserName, w->txtPwd, w->txtMail,
                                   w->txtFname,   w->txtTitle,      w->txtContent,  w->btnSend};
    w->show();
    QApplication::setActiveWindow(w.get());
    w->moMailList->setFocus();
    for (int i = 0; i + 1 < order.size(); ++i) {
        ASSERT_EQ(QApplication::focusWidget(), order[i]) << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), w->btnSend);
}

TEST_F(MailWindow, MissingInputsShowTheirMessageAndSendNothing)
{
    struct Case {
        QWidget* input;
        const char* message;
    } const cases[] = {
        {w->moMailList, "请输入邮件地址"},  {w->txtServerName, "请输入服务器地址"},
        {w->txtUserName, "请输入用户名"},   {w->txtPwd, "请输入密码"},
        {w->txtMail, "请输入发送者邮件地址"}, {w->txtFname, "请输入发送者称谓"},
        {w->txtTitle, "请输入邮件标题"},    {w->txtContent, "请输入邮件内容"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fillAll(QStringLiteral("a@x.org"));
        if (auto* e = qobject_cast<QLineEdit*>(c.input))
            e->clear();
        else
            qobject_cast<QPlainTextEdit*>(c.input)->clear();
        QTest::mouseClick(w->btnSend, Qt::LeftButton);
        EXPECT_EQ(w->txtState->text(), QString::fromUtf8(c.message));
        expectIdle();
    }
    // A text of blanks counts as filled.
    fillAll(QStringLiteral("a@x.org"));
    w->txtFname->setText(QStringLiteral(" "));
    EXPECT_TRUE(w->iswz());
    EXPECT_EQ(m_standin->messagesWritten(), 0);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(MailWindow, RunShowsEachLineAndEndsIdleTwiceInARow)
{
    fillAll(QStringLiteral("a@x.org\n\nb@refused.invalid\nc@y.org; d@z.org"));
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    QTest::mouseClick(w->btnSend, Qt::LeftButton);

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
    EXPECT_FALSE(w->IdSMTP.Connected());

    // The first run ended with QUIT, so the second connects afresh.
    m_statuses.clear();
    QTest::mouseClick(w->btnSend, Qt::LeftButton);
    EXPECT_EQ(m_statuses, expected);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
    EXPECT_EQ(m_standin->messagesWritten(), 4);

    w->show();
    QTest::qWait(50);
    w->grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/mail-window.png"));
}

TEST_F(MailWindow, EveryLineFailingStillEndsTheRun)
{
    fillAll(QStringLiteral("x@refused.invalid\ny@refused.invalid"));
    QTest::mouseClick(w->btnSend, Qt::LeftButton);
    EXPECT_EQ(m_statuses.value(m_statuses.size() - 2), QStringLiteral("正在发送至：y@refused.invalid失败 !"));
    EXPECT_EQ(w->txtState->text(), QStringLiteral("发送完成...."));
    expectIdle();
    EXPECT_EQ(m_standin->messagesWritten(), 0);
}

TEST_F(MailWindow, ConnectFailureShowsTheErrorBoxAndReturnsToIdle)
{
    int closedPort;
    {
        kaldrani::standin::SmtpStandin gone(m_folder / "gone");
        closedPort = gone.port();
    }
    routePort25To(closedPort);
    fillAll(QStringLiteral("a@x.org"));
    QTest::mouseClick(w->btnSend, Qt::LeftButton);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("Socket Error # 111\r\nConnection refused.")});
    expectIdle();
    EXPECT_FALSE(w->IdSMTP.Connected());

    // The server is back: the next run goes through.
    routePort25To(m_standin->port());
    m_errors.clear();
    QTest::mouseClick(w->btnSend, Qt::LeftButton);
    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_EQ(w->txtState->text(), QStringLiteral("发送完成...."));
    EXPECT_EQ(m_standin->messagesWritten(), 1);
}

TEST_F(MailWindow, ANamedServerWithoutEncryptionGetsNoPassword)
{
    routePort25To(m_standin->port());
    fillAll(QStringLiteral("a@x.org"));
    w->txtServerName->setText(QStringLiteral("mail.example.test"));
    QTest::mouseClick(w->btnSend, Qt::LeftButton);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("服务器不支持加密连接，密码未发送")});
    expectIdle();
    EXPECT_FALSE(w->IdSMTP.Connected());
    EXPECT_EQ(m_standin->messagesWritten(), 0);
}

TEST_F(MailWindow, CreatedSecondAndShownByTheMailButton)
{
    kaldrani::testing::TempFolder data;
    setSystemTrayAvailableOverride(true);
    {
        AppWindows windows(kaldrani::records::DataFolder(data.path()));
        ASSERT_TRUE(windows.frmMail);
        ASSERT_TRUE(windows.frmMain->bsSkinSpeedButton7->isEnabled());
        QTest::mouseClick(windows.frmMain->bsSkinSpeedButton7, Qt::LeftButton);
        EXPECT_TRUE(windows.frmMail->isVisible());
    }
    setSystemTrayAvailableOverride(std::nullopt);
}
