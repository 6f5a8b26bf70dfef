#include "core/mail/MailRun.h"

#include "core/mail/MailBody.h"
#include "core/net/StopSignal.h"
#include "core/run/RunGuard.h"
#include "core/text/Ascii.h"

namespace kaldrani::mail {

namespace {

void show(MailView& view, const std::string& text)
{
    view.setStatus(text);
}

} // namespace

std::string stoppedStatus(int sent)
{
    return "已停止发送，已发出 " + std::to_string(sent) + " 封";
}

std::string missingInputMessage(const MailInputs& inputs)
{
    const std::pair<const std::string*, const char*> checks[] = {
        {&inputs.mailList, "请输入邮件地址"},
        {&inputs.serverName, "请输入服务器地址"},
        {&inputs.userName, "请输入用户名"},
        {&inputs.password, "请输入密码"},
        {&inputs.mail, "请输入发送者邮件地址"},
        {&inputs.fname, "请输入发送者称谓"},
        {&inputs.title, "请输入邮件标题"},
        {&inputs.content, "请输入邮件内容"},
    };
    for (const auto& [text, message] : checks)
        if (text->empty())
            return message;
    return {};
}

bool sendMailLine(TSmtpClient& client, TMailMessage& message, const std::string& line, MailView& view)
{
    const std::string status = "正在发送至：" + line;
    try {
        show(view, status);
        message.setRecipients(line);
        client.Send(message);
    } catch (const std::exception& e) {
        show(view, status + "失败 !");
        view.lineFinished(line, e.what());
        return false;
    }
    view.lineFinished(line, {});
    return true;
}

namespace {

bool sendRun(TSmtpClient& client, TMailMessage& message, const MailInputs& inputs, std::string body, MailView& view)
{
    std::string failure;
    {
        const run::RunGuard sending(view);
        client.Username = inputs.userName;
        client.Password = inputs.password;
        try {
            const SmtpServerName server = parseServerName(inputs.serverName);
            client.Host = server.host;
            client.Port = server.port;
            client.Connect();
            message.setBody(std::move(body));
            message.Subject = inputs.title;
            message.setFrom(inputs.mail);
            // The window asks for a sender name; a recipient should see it, not the address twice.
            if (const std::string_view name = text::trimView(inputs.fname); !name.empty())
                message.From.name = name;
            // A sender that cannot be sent would fail every line: the run fails before any.
            if (std::string problem = client.addressProblem(message.From.address); !problem.empty())
                throw SmtpError(problem);
            client.Authenticate();
        } catch (const std::exception& e) {
            client.Disconnect();
            failure = e.what();
            // Stopped while connecting or signing in: nothing went out, and nothing failed.
            if (net::stopRequested()) {
                view.setStatus(stoppedStatus(0));
                return false;
            }
        }
        if (failure.empty()) {
            int sent = 0;
            bool stopped = false;
            for (const std::string& line : splitLines(inputs.mailList)) {
                // A stopped run sends nothing more, now or later.
                if ((stopped = net::stopRequested()))
                    break;
                sent += sendMailLine(client, message, line, view) ? 1 : 0;
            }
            stopped = stopped || net::stopRequested();
            // A later run must find the client disconnected, and the server deserves its QUIT.
            client.Disconnect();
            view.setStatus(stopped ? stoppedStatus(sent) : "发送完成....");
        }
    }
    // The button is back before the box opens, as after a finished run.
    if (!failure.empty()) {
        view.reportError(failure);
        return false;
    }
    return true;
}

} // namespace

bool runSendMail(TSmtpClient& client, TMailMessage& message, const MailInputs& inputs, MailView& view)
{
    return sendRun(client, message, inputs, inputs.content, view);
}

bool runSendMail(TSmtpClient& client, TMailMessage& message, MailInputs&& inputs, MailView& view)
{
    std::string body = std::move(inputs.content);
    return sendRun(client, message, inputs, std::move(body), view);
}

} // namespace kaldrani::mail
