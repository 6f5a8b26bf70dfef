#include "gui/MailWindow.h"

#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"
#include "gui/Runner.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kaldrani::gui {

using namespace kaldrani;

namespace {

std::string toUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QLabel* label(QWidget* parent, int left, int top, const char* text)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->move(left, top);
    l->adjustSize();
    return l;
}

QLineEdit* edit(QWidget* parent, int left, int top, int width, int height)
{
    auto* e = new QLineEdit(parent);
    e->setGeometry(left, top, width, height);
    return e;
}

QGroupBox* group(QWidget* parent, const char* caption, int left, int top, int width, int height)
{
    auto* g = new QGroupBox(QString::fromUtf8(caption), parent);
    g->setGeometry(left, top, width, height);
    return g;
}

} // namespace

MailWindow::MailWindow(gui::Runner& runner, QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::CloseOnly, QStringLiteral("邮件群发"), {kClientWidth, kClientHeight}),
      m_runner(runner)
{
    createControls();
    centreOnFirstShow();
}

void MailWindow::createControls()
{
    QGroupBox* list = group(this, "收件人地址列表", 4, 8, 211, 486);
    m_recipientList = new QPlainTextEdit(list);
    m_recipientList->setObjectName(QStringLiteral("recipientList"));
    m_recipientList->setGeometry(6, 16, 197, 443);
    m_recipientList->setTabChangesFocus(true);
    m_recipientList->setLineWrapMode(QPlainTextEdit::NoWrap);
    label(list, 6, 465, "请按行输入邮件地址");

    QGroupBox* server = group(this, "SMTP 服务器设置", 221, 8, 486, 45);
    label(server, 10, 19, "服务器：");
    m_serverEdit = edit(server, 58, 16, 121, 21);
    m_serverEdit->setObjectName(QStringLiteral("serverEdit"));
    label(server, 185, 19, "用户名：");
    m_userEdit = edit(server, 234, 16, 99, 21);
    m_userEdit->setObjectName(QStringLiteral("userEdit"));
    label(server, 339, 19, "密码：");
    m_passwordEdit = edit(server, 378, 16, 99, 21);
    m_passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_passwordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    QGroupBox* sender = group(this, "", 221, 59, 486, 34);
    label(sender, 10, 10, "发送者EMAIL：");
    m_senderAddressEdit = edit(sender, 90, 6, 151, 21);
    m_senderAddressEdit->setObjectName(QStringLiteral("senderAddressEdit"));
    label(sender, 272, 10, "发送者称谓：");
    m_senderNameEdit = edit(sender, 356, 6, 121, 21);
    m_senderNameEdit->setObjectName(QStringLiteral("senderNameEdit"));

    QGroupBox* title = group(this, "邮件标题", 221, 99, 486, 43);
    m_subjectEdit = edit(title, 6, 15, 471, 21);
    m_subjectEdit->setObjectName(QStringLiteral("subjectEdit"));

    QGroupBox* content = group(this, "邮件内容", 221, 148, 486, 317);
    m_bodyEdit = new QPlainTextEdit(content);
    m_bodyEdit->setObjectName(QStringLiteral("bodyEdit"));
    m_bodyEdit->setGeometry(6, 18, 471, 293);
    m_bodyEdit->setTabChangesFocus(true);

    m_statusLine = edit(this, 221, 473, 405, 21);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setText(QStringLiteral("当前状态"));
    m_statusLine->setEnabled(false);
    QPalette red = m_statusLine->palette();
    for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        red.setColor(g, QPalette::Text, Qt::red);
    m_statusLine->setPalette(red);

    m_sendButton = new QPushButton(QStringLiteral("开始发送"), this);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setGeometry(632, 473, 75, 25);
    onClicked(m_sendButton, &MailWindow::onSendClicked);
    m_stopButton = addStopButton(m_sendButton);

    QWidget* order[] = {m_recipientList,  m_serverEdit, m_userEdit,   m_passwordEdit, m_senderAddressEdit,
                        m_senderNameEdit, m_subjectEdit, m_bodyEdit, m_sendButton,   m_statusLine};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

mail::MailInputs MailWindow::inputs() const
{
    return {toUtf8(m_recipientList->toPlainText()), toUtf8(m_serverEdit->text()),
            toUtf8(m_userEdit->text()),                 toUtf8(m_passwordEdit->text()),
            toUtf8(m_senderAddressEdit->text()),        toUtf8(m_senderNameEdit->text()),
            toUtf8(m_subjectEdit->text()),              toUtf8(m_bodyEdit->toPlainText())};
}

bool MailWindow::checkInputs()
{
    const std::string missing = mail::missingInputMessage(inputs());
    if (missing.empty())
        return true;
    setStatus(missing);
    return false;
}

void MailWindow::onSendClicked()
{
    if (!checkInputs())
        return;
    m_runner.runAndWait(
        [this, typed = inputs()]() mutable {
            return mail::runSendMail(m_smtp, m_message, std::move(typed), *this);
        },
        {this, gui::InputDuringRun::Waits, m_stopButton});
}

void MailWindow::setStatus(const std::string& text)
{
    m_runner.onWindow([&] {
        m_statusLine->setText(gui::fromUtf8(text));
        m_statusLine->repaint();
    });
}

void MailWindow::setRunning(bool sending)
{
    m_runner.onWindow([&] {
        m_sendButton->setEnabled(!sending);
        m_sendButton->setText(sending ? QStringLiteral("正在发送") : QStringLiteral("开始发送"));
        m_sendButton->repaint();
    });
}

void MailWindow::reportError(const std::string& message)
{
    m_runner.onWindow([&] {
        showApplicationError(gui::fromUtf8(message), this);
    });
}

} // namespace kaldrani::gui
