#pragma once

#include "core/mail/TMailMessage.h"
#include "core/mail/TSmtpClient.h"
#include "core/run/RunView.h"

#include <string>

namespace kaldrani::mail {

// The eight texts a send run starts from, as typed.
struct MailInputs {
    std::string mailList; // the whole recipient list, one line per recipient line
    std::string serverName;
    std::string userName;
    std::string password;
    std::string mail;  // sender address
    std::string fname; // sender name: the display name of From
    std::string title;
    std::string content;
};

// The window side of a send run. Every call happens at the moment the state changed.
// Running (setRunning) means sending: the button disabled with "正在发送"; idle: enabled
// with "开始发送".
class MailView : public run::RunView {
public:
    // Shows text in the status line, painted at once.
    virtual void setStatus(const std::string& text) = 0;
    // A failure that ends the run, for the application's error box.
    virtual void reportError(const std::string& message) = 0;
    // After each recipient line: failure is empty when the message went out, else why not
    // (a refusal in the server's own words, a socket failure, a refused address).
    virtual void lineFinished(const std::string& line, const std::string& failure)
    {
        (void)line;
        (void)failure;
    }
};

// The status a stopped run ends with: how many messages the server took before the stop.
std::string stoppedStatus(int sent);

// The message of the first empty input, in the order list, server, user name, password,
// sender address, sender name, subject, body; empty when all hold text.
std::string missingInputMessage(const MailInputs& inputs);

// Sends message to one recipient line and shows its progress; a failure shows
// "正在发送至：" + line + "失败 !" and is not passed on. Returns whether the server took it.
bool sendMailLine(TSmtpClient& client, TMailMessage& message, const std::string& line, MailView& view);

// The send run after a passed input check: connect to inputs.serverName ("host", port 25,
// or "host:port") encrypted as client.Tls says, sign in, one send per line of the list
// (empty lines included), QUIT. From is the sender
// address with the sender name as its display name. Returns false when the server name is
// not valid, connecting, greeting, encrypting or signing in fails (a password that would
// go in clear text included), or the sender address cannot be sent (nothing is sent
// then): the view is idle again and has the message. After a 421 the remaining lines
// fail at once with the server's text. A run whose thread's stop signal is raised sends
// no further line and ends with stoppedStatus.
bool runSendMail(TSmtpClient& client, TMailMessage& message, const MailInputs& inputs, MailView& view);
// The same run, taking the body over from inputs instead of copying it.
bool runSendMail(TSmtpClient& client, TMailMessage& message, MailInputs&& inputs, MailView& view);

} // namespace kaldrani::mail
