#pragma once

#include "core/mail/MailRun.h"
#include "core/mail/TMailMessage.h"
#include "core/mail/TSmtpClient.h"

#include "gui/ToolWindow.h"

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kaldrani::gui {

class Runner;

// The bulk mail window: one message, typed once, sent to every line of a recipient list
// through one SMTP connection, with each line's progress in the status line.
class TfrmMail : public ToolWindow, public kaldrani::mail::MailView {
    Q_OBJECT
public:
    // Creates the window hidden. Its send runs run on runner.
    explicit TfrmMail(Runner& runner, QWidget* parent = nullptr);

    static constexpr int kClientWidth = 712;
    static constexpr int kClientHeight = 508;

    QPlainTextEdit* moMailList = nullptr;
    QLineEdit* txtServerName = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPwd = nullptr;
    QLineEdit* txtMail = nullptr;
    QLineEdit* txtFname = nullptr;
    QLineEdit* txtTitle = nullptr;
    QPlainTextEdit* txtContent = nullptr;
    QLineEdit* txtState = nullptr;
    QPushButton* btnSend = nullptr;

    // The client and the message live as long as the window.
    kaldrani::mail::TSmtpClient IdSMTP;
    kaldrani::mail::TMailMessage IdMessage;

    // The send run, as the button starts it. The run goes off this thread; meanwhile the
    // window repaints and answers the desktop, and drops clicks and keys but those on its
    // stop button.
    void btnSendClick();
    // True when all eight inputs hold text; else shows the first one missing.
    bool iswz();

    // MailView, called from the run's thread: each call reaches the widgets on this
    // window's thread through the runner; each status is painted as it is set.
    void setStatus(const std::string& text) override;
    void setRunning(bool sending) override;
    void reportError(const std::string& message) override;

private:
    void createControls();
    kaldrani::mail::MailInputs inputs() const;

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
};

} // namespace kaldrani::gui
