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
class MailWindow : public ToolWindow, public kaldrani::mail::MailView {
    Q_OBJECT
public:
    // Creates the window hidden. Its send runs run on runner.
    explicit MailWindow(Runner& runner, QWidget* parent = nullptr);

    static constexpr int kClientWidth = 712;
    static constexpr int kClientHeight = 508;

    // True when all eight inputs hold text; else shows the first one missing.
    bool checkInputs();
    // Whether the SMTP client holds a connection open.
    bool connected() const { return m_smtp.Connected(); }

    // MailView, called from the run's thread: each call reaches the widgets on this
    // window's thread through the runner; each status is painted as it is set.
    void setStatus(const std::string& text) override;
    void setRunning(bool sending) override;
    void reportError(const std::string& message) override;

private:
    void createControls();
    kaldrani::mail::MailInputs inputs() const;
    // The send run, as the button starts it. The run goes off this thread; meanwhile the
    // window repaints and answers the desktop, and drops clicks and keys but those on its
    // stop button.
    void onSendClicked();

    Runner& m_runner;
    QPlainTextEdit* m_recipientList = nullptr;
    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLineEdit* m_senderAddressEdit = nullptr;
    QLineEdit* m_senderNameEdit = nullptr;
    QLineEdit* m_subjectEdit = nullptr;
    QPlainTextEdit* m_bodyEdit = nullptr;
    QLineEdit* m_statusLine = nullptr;
    QPushButton* m_sendButton = nullptr;
    QAbstractButton* m_stopButton = nullptr;

    // The client and the message live as long as the window.
    kaldrani::mail::TSmtpClient m_smtp;
    kaldrani::mail::TMailMessage m_message;
};

} // namespace kaldrani::gui
