#include "gui/mail.h"

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

TfrmMail::TfrmMail(gui::Runner& runner, QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::CloseOnly, QStringLiteral("邮件群发"), {kClientWidth, kClientHeight}),
      m_runner(runner)
{
    createControls();
    centreOnFirstShow();
}

void TfrmMail::createControls()
{
    QGroupBox* list = group(this, "收件人地址列表", 4, 8, 211, 486);
    moMailList = new QPlainTextEdit(list);
    moMailList->setGeometry(6, 16, 197, 443);
    moMailList->setTabChangesFocus(true);
    moMailList->setLineWrapMode(QPlainTextEdit::NoWrap);
    label(list, 6, 465, "请按行输入邮件地址");

    QGroupBox* server = group(this, "SMTP 服务器设置", 221, 8, 486, 45);
    label(server, 10, 19, "服务器：");
    txtServerName = edit(server, 58, 16, 121, 21);
    label(server, 185, 19, "用户名：");
    txtUserName = edit(server, 234, 16, 99, 21);
    label(server, 339, 19, "密码：");
    txtPwd = edit(server, 378, 16, 99, 21);
    txtPwd->setEchoMode(QLineEdit::Password);
    txtPwd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    QGroupBox* sender = group(this, "", 221, 59, 486, 34);
    label(sender, 10, 10, "发送者EMAIL：");
    txtMail = edit(sender, 90, 6, 151, 21);
    label(sender, 272, 10, "发送者称谓：");
    txtFname = edit(sender, 356, 6, 121, 21);

    QGroupBox* title = group(this, "邮件标题", 221, 99, 486, 43);
    txtTitle = edit(title, 6, 15, 471, 21);

    QGroupBox* content = group(this, "邮件内容", 221, 148, 486, 317);
    txtContent = new QPlainTextEdit(content);
    txtContent->setGeometry(6, 18, 471, 293);
    txtContent->setTabChangesFocus(true);

    txtState = edit(this, 221, 473, 405, 21);
    txtState->setText(QStringLiteral("当前状态"));
    txtState->setEnabled(false);
    QPalette red = txtState->palette();
    for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        red.setColor(g, QPalette::Text, Qt::red);
    txtState->setPalette(red);

    btnSend = new QPushButton(QStringLiteral("开始发送"), this);
    btnSend->setGeometry(632, 473, 75, 25);
    onClicked(btnSend, &TfrmMail::btnSendClick);
    m_stopButton = addStopButton(btnSend);

    QWidget* order[] = {moMailList, txtServerName, txtUserName, txtPwd, txtMail,
                        txtFname,   txtTitle,      txtContent,  btnSend, txtState};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

mail::MailInputs TfrmMail::inputs() const
{
    return {toUtf8(moMailList->toPlainText()), toUtf8(txtServerName->text()), toUtf8(txtUserName->text()),
            toUtf8(txtPwd->text()),            toUtf8(txtMail->text()),       toUtf8(txtFname->text()),
            toUtf8(txtTitle->text()),          toUtf8(txtContent->toPlainText())};
}

bool TfrmMail::iswz()
{
    const std::string missing = mail::missingInputMessage(inputs());
    if (missing.empty())
        return true;
    setStatus(missing);
    return false;
}

void TfrmMail::btnSendClick()
{
    if (!iswz())
        return;
    m_runner.runAndWait(
        [this, typed = inputs()]() mutable {
            return mail::runSendMail(IdSMTP, IdMessage, std::move(typed), *this);
        },
        {this, gui::InputDuringRun::Waits, m_stopButton});
}

void TfrmMail::setStatus(const std::string& text)
{
    m_runner.onWindow([&] {
        txtState->setText(gui::fromUtf8(text));
        txtState->repaint();
    });
}

void TfrmMail::setRunning(bool sending)
{
    m_runner.onWindow([&] {
        btnSend->setEnabled(!sending);
        btnSend->setText(sending ? QStringLiteral("正在发送") : QStringLiteral("开始发送"));
        btnSend->repaint();
    });
}

void TfrmMail::reportError(const std::string& message)
{
    m_runner.onWindow([&] {
        showApplicationError(gui::fromUtf8(message), this);
    });
}

} // namespace kaldrani::gui
