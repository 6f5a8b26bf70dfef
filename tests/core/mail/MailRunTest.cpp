// The send run against scripted servers: what reaches the view, and what the server sees.
#include "RecordingMailView.h"
#include "ScriptedSmtpServer.h"

#include "core/mail/MailRun.h"
#include "core/net/ConnectTo.h"

#include <gtest/gtest.h>

using namespace kaldrani::mail;
using kaldrani::testing::ScriptedSmtpServer;
using kaldrani::testing::SmtpStep;
using kaldrani::testing::standardSmtpReply;

namespace {

using Lines = std::vector<std::string>;

using RecordingView = RecordingMailView;

MailInputs inputs(const std::string& list)
{
    return {list, "mail.example.test", "", "pw", "sender@example.com", "张三", "Hi", "body"};
}

// Runs the window's send run against server, which it reaches as port 25.
bool run(const ScriptedSmtpServer& server, const MailInputs& in, RecordingView& view)
{
    kaldrani::net::addConnectToRules({{"mail.example.test", "25", "127.0.0.1", std::to_string(server.port())}});
    TSmtpClient client;
    client.HeloName = "client.test";
    TMailMessage message;
    message.CharSet = MailCharset{"GB2312", 'B'};
    const bool ok = runSendMail(client, message, in, view);
    kaldrani::net::clearConnectToRules();
    return ok;
}

} // namespace

TEST(MailRun, TheSenderNameIsTheDisplayNameOfFrom)
{
    struct Case {
        const char* name;
        const char* fname;
        const char* from;
    } const cases[] = {
        {"Chinese, encoded", "张三", "From: =?GB2312?B?1cXI/Q==?= <sender@example.com>\r\n"},
        {"ASCII, quoted", "Sales \"Team\"", "From: \"Sales \\\"Team\\\"\" <sender@example.com>\r\n"},
        {"blanks only: the address stands in", "  ", "From: \"sender@example.com\" <sender@example.com>\r\n"},
        {"line breaks cannot end the header block", "Evil\r\n\r\nInjected <me@example.com>",
         "From: \"Evil    Injected <me@example.com>\" <sender@example.com>\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", [](const std::string& command) { return standardSmtpReply(command, {}); });
        MailInputs in = inputs("a@x.org");
        in.fname = c.fname;
        RecordingView view;
        EXPECT_TRUE(run(server, in, view));
        ASSERT_EQ(server.messages().size(), 1u);
        const std::string data = server.messages()[0];
        EXPECT_EQ(data.rfind(c.from, 0), 0u) << data;
        EXPECT_NE(data.find("\r\nSubject: Hi\r\nTo: a@x.org\r\nDate: "), std::string::npos) << data;
    }
}

TEST(MailRun, After421TheRemainingLinesFailAtOnceWithTheServersText)
{
    ScriptedSmtpServer server("220 hi\r\n", [](const std::string& command) {
        if (command == "RCPT TO:<b@x.org>")
            return SmtpStep{"421 4.7.0 Too many errors, closing\r\n", SmtpStep::Then::Close};
        return standardSmtpReply(command, {});
    });
    RecordingView view;
    EXPECT_TRUE(run(server, inputs("a@x.org\r\nb@x.org\r\nc@x.org\r\nd@x.org"), view));
    const std::string closing = "Too many errors, closing\r\n";
    EXPECT_EQ(view.finished, (std::vector<std::pair<std::string, std::string>>{
                                 {"a@x.org", ""}, {"b@x.org", closing}, {"c@x.org", closing}, {"d@x.org", closing}}));
    EXPECT_EQ(view.statuses.back(), "发送完成....");
    EXPECT_EQ(view.statuses[view.statuses.size() - 2], "正在发送至：d@x.org失败 !");
    EXPECT_TRUE(view.errors.empty());
    // Nothing after the 421: not even QUIT.
    EXPECT_EQ(server.commands().back(), "RCPT TO:<b@x.org>");
    EXPECT_EQ(server.connections(), 1);
}

TEST(MailRun, ASenderThatCannotBeSentFailsTheRunBeforeAnythingIsSent)
{
    struct Case {
        const char* name;
        const char* from;
        const char* error;
    } const cases[] = {
        {"parameter smuggled in", "a@b.test>NOTIFY=NEVER", "Invalid address: a@b.test>NOTIFY=NEVER"},
        {"not ASCII without SMTPUTF8", "发件人@例子.test",
         "Invalid address: 发件人@例子.test (not ASCII, and the server does not offer SMTPUTF8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", [](const std::string& command) { return standardSmtpReply(command, {}); });
        MailInputs in = inputs("a@x.org\r\nb@x.org");
        in.mail = c.from;
        RecordingView view;
        EXPECT_FALSE(run(server, in, view));
        EXPECT_EQ(view.errors, Lines{c.error});
        EXPECT_TRUE(view.statuses.empty());
        EXPECT_EQ(server.commands(), (Lines{"EHLO client.test", "QUIT"}));
    }
}

TEST(MailRun, ARefusedRecipientAddressFailsOnlyItsLine)
{
    ScriptedSmtpServer server("220 hi\r\n", [](const std::string& command) { return standardSmtpReply(command, {}); });
    RecordingView view;
    EXPECT_TRUE(run(server, inputs("a@x.org\r\nv@x.org>NOTIFY=NEVER\r\n" + std::string("n\0ul@x.org", 10) + "\r\nc@x.org"), view));
    ASSERT_EQ(view.finished.size(), 4u);
    EXPECT_EQ(view.finished[1].second, "Invalid address: v@x.org>NOTIFY=NEVER");
    EXPECT_EQ(view.finished[2].second, "Invalid address: n");
    EXPECT_EQ(view.finished[3], (std::pair<std::string, std::string>{"c@x.org", ""}));
    EXPECT_EQ(server.messages().size(), 2u);
    for (const std::string& command : server.commands())
        EXPECT_EQ(command.find("NOTIFY"), std::string::npos) << command;
}
