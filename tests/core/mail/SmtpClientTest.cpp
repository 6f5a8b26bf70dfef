// The client's dialogue against scripted peers: what a real server will not do on demand.
#include "ScriptedSmtpServer.h"

#include "core/mail/TSmtpClient.h"
#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>

using namespace kaldrani::mail;
using kaldrani::testing::ScriptedSmtpServer;
using kaldrani::testing::SmtpStep;
using kaldrani::testing::standardSmtpReply;

namespace {


ScriptedSmtpServer::Handler standard(std::vector<std::string> capabilities)
{
    return [capabilities](const std::string& command) { return standardSmtpReply(command, capabilities); };
}

// The usual reply, except where overrides names the command (matched by prefix).
ScriptedSmtpServer::Handler withOverrides(std::vector<std::string> capabilities,
                                          std::vector<std::pair<std::string, SmtpStep>> overrides)
{
    return [capabilities, overrides](const std::string& command) {
        for (const auto& [prefix, step] : overrides)
            if (command.rfind(prefix, 0) == 0)
                return step;
        return standardSmtpReply(command, capabilities);
    };
}

void connect(TSmtpClient& client, const ScriptedSmtpServer& server)
{
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.HeloName = "client.test";
    client.Connect();
}

TMailMessage message(const std::string& recipients)
{
    TMailMessage m;
    m.setFrom("sender@example.com");
    m.setRecipients(recipients);
    m.Subject = "Hello";
    m.setBody("one\r\n.\r\ntwo");
    m.CharSet = MailCharset{"GB2312", 'B'};
    return m;
}

using Commands = std::vector<std::string>;

} // namespace

TEST(SmtpClient, RefusedEhloFallsBackToHeloAndSendsNoAuth)
{
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({"AUTH LOGIN"}, {{"EHLO", {"502 5.5.2 No EHLO\r\n"}}}));
    TSmtpClient client;
    client.Username = "user";
    client.Password = "secret";
    connect(client, server);
    EXPECT_FALSE(client.Authenticate());
    client.Send(message("a@x.org"));
    EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "HELO client.test", "RSET", "MAIL FROM:<sender@example.com>",
                                           "RCPT TO:<a@x.org>", "DATA", "."}));
    EXPECT_TRUE(client.Capabilities().empty());
}

TEST(SmtpClient, SignsInWithLoginWhenOfferedElsePlain)
{
    const Commands login{"AUTH LOGIN", "dXNlcg==", "cOQ="};
    // One byte per character, as LOGIN: "\0user\0p\xE4".
    const Commands plain{"AUTH PLAIN AHVzZXIAcOQ="};
    struct Case {
        const char* name;
        std::vector<std::string> capabilities;
        Commands signIn;
    } const cases[] = {
        {"AUTH LOGIN PLAIN", {"PIPELINING", "AUTH LOGIN PLAIN", "8BITMIME"}, login},
        {"AUTH=LOGIN", {"AUTH=LOGIN"}, login},
        {"lower case", {"auth plain login"}, login},
        {"only PLAIN", {"AUTH PLAIN CRAM-MD5"}, plain},
        {"neither", {"AUTH CRAM-MD5"}, {}},
        {"no AUTH at all", {"8BITMIME"}, {}},
        {"AUTHX LOGIN is no AUTH line", {"AUTHX LOGIN"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", withOverrides(c.capabilities, {{"dXNlcg==", {"334 UGFzc3dvcmQ6\r\n"}},
                                                                               {"cOQ=", {"235 2.7.0 Accepted\r\n"}},
                                                                               {"AUTH PLAIN ", {"235 2.7.0 Accepted\r\n"}}}));
        TSmtpClient client;
        client.Username = "user";
        client.Password = "p\xC3\xA4"; // one byte per character: "p\xE4"
        connect(client, server);
        EXPECT_EQ(client.Authenticate(), !c.signIn.empty());
        client.Send(message("a@x.org"));
        Commands expected{"EHLO client.test"};
        expected.insert(expected.end(), c.signIn.begin(), c.signIn.end());
        expected.insert(expected.end(), {"RSET", "MAIL FROM:<sender@example.com>", "RCPT TO:<a@x.org>", "DATA", "."});
        EXPECT_EQ(server.commands(), expected);
    }
}

TEST(SmtpClient, APasswordCrossesAnUnencryptedConnectionOnlyToThisMachine)
{
    using Mode = TSmtpClient::TlsMode;
    struct Case {
        const char* name;
        const char* host;
        Mode mode;
        bool signsIn;
    } const cases[] = {
        {"localhost", "localhost", Mode::Auto, true},
        {"LOCALHOST.", "LOCALHOST.", Mode::Auto, true},
        {"127.0.0.1", "127.0.0.1", Mode::Auto, true},
        {"127.9.8.7", "127.9.8.7", Mode::Auto, true},
        {"a named server", "mail.example.test", Mode::Auto, false},
        {"a name that starts like localhost", "localhost.example.test", Mode::Auto, false},
        {"inet_aton's short form", "127.1", Mode::Auto, false},
        {"another machine's address", "10.0.0.1", Mode::Auto, false},
        {"none says clear text is wanted", "mail.example.test", Mode::None, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", withOverrides({"AUTH LOGIN"}, {{"dXNlcg==", {"334 UGFzc3dvcmQ6\r\n"}},
                                                                               {"cHc=", {"235 2.7.0 Accepted\r\n"}}}));
        kaldrani::net::clearConnectToRules();
        kaldrani::net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
        TSmtpClient client;
        client.Host = c.host;
        client.Tls = c.mode;
        client.HeloName = "client.test";
        client.Username = "user";
        client.Password = "pw";
        client.Connect();
        if (c.signsIn) {
            EXPECT_TRUE(client.Authenticate());
            EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "AUTH LOGIN", "dXNlcg==", "cHc="}));
        } else {
            try {
                client.Authenticate();
                ADD_FAILURE() << "signed in";
            } catch (const EncryptionUnavailable& e) {
                EXPECT_STREQ(e.what(), "服务器不支持加密连接，密码未发送");
            }
            EXPECT_FALSE(client.Authenticated());
            EXPECT_EQ(server.commands(), (Commands{"EHLO client.test"}));
        }
        client.Disconnect();
    }
    kaldrani::net::clearConnectToRules();
}

// "localhost" as typed, but a connect-to rule (here the socket opener) led elsewhere: the
// name alone does not let the password go in clear text.
TEST(SmtpClient, APasswordGoesInClearTextOnlyWhereTheConnectionLedToThisMachine)
{
    int server = -1;
    kaldrani::net::setSocketOpener([&server](const std::string&, int) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return -1;
        const std::string replies = "220 hi\r\n250-hi\r\n250 AUTH LOGIN\r\n";
        [[maybe_unused]] const auto sent = ::send(pair[1], replies.data(), replies.size(), MSG_NOSIGNAL);
        server = pair[1];
        return pair[0];
    });
    TSmtpClient client;
    client.Host = "localhost";
    client.HeloName = "client.test";
    client.Username = "user";
    client.Password = "pw";
    client.Connect();
    EXPECT_THROW(client.Authenticate(), EncryptionUnavailable);
    kaldrani::net::setSocketOpener({});
    std::string received(4096, '\0');
    const ssize_t n = ::recv(server, received.data(), received.size(), MSG_DONTWAIT);
    received.resize(n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_EQ(received, "EHLO client.test\r\n");
    client.Disconnect();
    ::close(server);
}

TEST(SmtpClient, RequiredEncryptionThatIsNotOfferedQuitsBeforeAnythingElse)
{
    using Mode = TSmtpClient::TlsMode;
    struct Case {
        const char* name;
        Mode mode;
        int port;
    } const cases[] = {
        {"starttls on any port", Mode::StartTls, 25},
        {"auto on the submission port", Mode::Auto, 587},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", standard({"AUTH LOGIN"}));
        kaldrani::net::clearConnectToRules();
        kaldrani::net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
        TSmtpClient client;
        client.Host = "localhost";
        client.Port = c.port;
        client.Tls = c.mode;
        client.HeloName = "client.test";
        EXPECT_THROW(client.Connect(), EncryptionUnavailable);
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "QUIT"}));
    }
    kaldrani::net::clearConnectToRules();
}

TEST(SmtpClient, BytesAfterTheStartTlsReplyAreRefusedNotReadAsProtected)
{
    // [rfc3207] a reply injected on the way would otherwise be read as the server's first
    // words inside TLS.
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({"STARTTLS", "AUTH LOGIN"},
                                                           {{"STARTTLS", {"220 go ahead\r\n250-fake\r\n250 AUTH LOGIN\r\n"}}}));
    TSmtpClient client;
    client.Username = "user";
    client.Password = "pw";
    try {
        connect(client, server);
        ADD_FAILURE() << "connected";
    } catch (const kaldrani::net::NetError& e) {
        EXPECT_EQ(e.kind(), kaldrani::net::NetError::Kind::Tls);
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "STARTTLS"}));
}

TEST(SmtpClient, ServerNamesAsTyped)
{
    struct Case {
        const char* typed;
        const char* host; // null: refused
        int port;
    } const cases[] = {
        {"smtp.example.com", "smtp.example.com", 25},
        {" smtp.example.com:587 ", "smtp.example.com", 587},
        {"127.0.0.1:465", "127.0.0.1", 465},
        {"::1", "::1", 25},
        {"smtp.example.com:", nullptr, 0},
        {"smtp.example.com:0", nullptr, 0},
        {"smtp.example.com:65536", nullptr, 0},
        {"smtp.example.com:25x", nullptr, 0},
        {":25", nullptr, 0},
        {"   ", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        if (!c.host) {
            EXPECT_THROW(parseServerName(c.typed), SmtpError);
            continue;
        }
        const SmtpServerName server = parseServerName(c.typed);
        EXPECT_EQ(server.host, c.host);
        EXPECT_EQ(server.port, c.port);
    }
}

TEST(SmtpClient, NoUserNameMeansNoAuthAndARefusedPasswordRaises)
{
    {
        ScriptedSmtpServer server("220 hi\r\n", standard({"AUTH LOGIN"}));
        TSmtpClient client;
        connect(client, server);
        EXPECT_FALSE(client.Authenticate());
        EXPECT_EQ(server.commands(), (Commands{"EHLO client.test"}));
    }
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({"AUTH LOGIN"}, {{"dXNlcg==", {"334 UGFzc3dvcmQ6\r\n"}},
                                                                           {"d3Jvbmc=", {"535 5.7.8 Bad credentials\r\n"}}}));
    TSmtpClient client;
    client.Username = "user";
    client.Password = "wrong";
    connect(client, server);
    try {
        client.Authenticate();
        FAIL() << "no failure";
    } catch (const SmtpReplyError& e) {
        EXPECT_EQ(e.code(), 535);
        EXPECT_STREQ(e.what(), "Bad credentials\r\n");
    }
    EXPECT_FALSE(client.Authenticated());
}

TEST(SmtpClient, RefusedRecipientResetsAndTheNextSendWorks)
{
    ScriptedSmtpServer server("220 hi\r\n",
                              withOverrides({"AUTH LOGIN"}, {{"dXNlcg==", {"334 UGFzc3dvcmQ6\r\n"}},
                                                             {"c2VjcmV0", {"235 ok\r\n"}},
                                                             {"RCPT TO:<bad@x.org>", {"550 5.1.1 <bad@x.org>: no such user\r\n"}}}));
    TSmtpClient client;
    client.Username = "user";
    client.Password = "secret";
    connect(client, server);
    try {
        client.Send(message("good@x.org, bad@x.org"));
        FAIL() << "no failure";
    } catch (const SmtpReplyError& e) {
        EXPECT_EQ(e.code(), 550);
        EXPECT_STREQ(e.what(), "<bad@x.org>: no such user\r\n");
    }
    client.Send(message("good@x.org; other@x.org"));
    EXPECT_EQ(server.commands(),
              (Commands{"EHLO client.test", "AUTH LOGIN", "dXNlcg==", "c2VjcmV0", "RSET", "MAIL FROM:<sender@example.com>",
                        "RCPT TO:<good@x.org>", "RCPT TO:<bad@x.org>", "RSET",
                        // The second send signs in no more.
                        "RSET", "MAIL FROM:<sender@example.com>", "RCPT TO:<good@x.org>", "RCPT TO:<other@x.org>", "DATA",
                        "."}));
    ASSERT_EQ(server.messages().size(), 1u);
    const std::string data = server.messages()[0];
    EXPECT_NE(data.find("\r\nTo: good@x.org, other@x.org\r\n"), std::string::npos) << data;
    EXPECT_NE(data.find("\r\n\r\none\r\n..\r\ntwo\r\n\r\n"), std::string::npos) << data;
}

TEST(SmtpClient, RefusalsAfterDataResetButARefusedSenderDoesNot)
{
    struct Case {
        const char* name;
        const char* refused;
        const char* reply;
        const char* message;
        bool reset;
    } const cases[] = {
        {"DATA refused", "DATA", "554 5.5.1 No valid recipients\r\n", "No valid recipients\r\n", true},
        {"message refused, multi-line", ".", "554-5.7.1 Message rejected\r\n554 5.7.1 Spam detected\r\n",
         "Message rejected\r\nSpam detected\r\n", true},
        {"sender refused", "MAIL", "553 5.7.1 Sender not allowed\r\n", "Sender not allowed\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{c.refused, {c.reply}}}));
        TSmtpClient client;
        connect(client, server);
        try {
            client.Send(message("a@x.org"));
            FAIL() << "no failure";
        } catch (const SmtpReplyError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        const Commands commands = server.commands();
        EXPECT_EQ(commands.back() == "RSET", c.reset);
        EXPECT_TRUE(client.Connected());
    }
}

TEST(SmtpClient, EmptyRecipientListSendsNoRcpt)
{
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{"DATA", {"503 5.5.1 Error: need RCPT command\r\n"}}}));
    TSmtpClient client;
    connect(client, server);
    EXPECT_THROW(client.Send(message("")), SmtpReplyError);
    EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "RSET", "MAIL FROM:<sender@example.com>", "DATA", "RSET"}));
}

TEST(SmtpClient, RefusedGreetingOrHeloQuitsButA421EndsAtOnce)
{
    struct Case {
        const char* name;
        const char* greeting;
        std::vector<std::pair<std::string, SmtpStep>> overrides;
        const char* message;
        Commands commands;
    } const cases[] = {
        {"refused greeting", "554 5.3.2 Go away\r\n", {}, "Go away\r\n", {"QUIT"}},
        {"refused HELO", "220 hi\r\n", {{"EHLO", {"500 no\r\n"}}, {"HELO", {"501 neither\r\n"}}}, "neither\r\n",
         {"EHLO client.test", "HELO client.test", "QUIT"}},
        {"421 greeting", "421 4.3.2 Too busy\r\n", {}, "Too busy\r\n", {}},
        // Not taken for a refused EHLO: no HELO follows.
        {"421 to EHLO", "220 hi\r\n", {{"EHLO", {"421 4.4.2 Shutting down\r\n"}}}, "Shutting down\r\n",
         {"EHLO client.test"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server(c.greeting, withOverrides({}, c.overrides));
        TSmtpClient client;
        try {
            connect(client, server);
            FAIL() << "no failure";
        } catch (const SmtpReplyError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(client.Connected());
        EXPECT_TRUE(client.Capabilities().empty());
        EXPECT_EQ(server.commands(), c.commands);
    }
}

TEST(SmtpClient, A421EndsTheSessionAndLaterSendsFailAtOnceWithItsText)
{
    for (const char* step : {"RSET", "MAIL", "RCPT", "DATA", "."}) {
        SCOPED_TRACE(step);
        ScriptedSmtpServer server("220 hi\r\n",
                                  withOverrides({}, {{step, {"421 4.7.0 Too many errors\r\n", SmtpStep::Then::Close}}}));
        TSmtpClient client;
        connect(client, server);
        for (int send = 0; send < 3; ++send) {
            try {
                client.Send(message("a@x.org"));
                FAIL() << "no failure";
            } catch (const SmtpReplyError& e) {
                EXPECT_EQ(e.code(), 421);
                EXPECT_STREQ(e.what(), "Too many errors\r\n");
            }
        }
        EXPECT_FALSE(client.Connected());
        // Nothing after the 421: no RSET, no second transaction.
        const Commands commands = server.commands();
        EXPECT_EQ(commands.back().rfind(step, 0), 0u) << commands.back();
        EXPECT_EQ(server.connections(), 1);
    }
}

TEST(SmtpClient, StateOwnsTheCapabilities)
{
    ScriptedSmtpServer login("220 hi\r\n", withOverrides({"AUTH LOGIN"}, {{"dXNlcg==", {"334 UGFzc3dvcmQ6\r\n"}},
                                                                          {"cHc=", {"235 ok\r\n"}}}));
    TSmtpClient client;
    client.Username = "user";
    client.Password = "pw";
    EXPECT_EQ(client.state(), TSmtpClient::State::Closed);
    connect(client, login);
    EXPECT_EQ(client.state(), TSmtpClient::State::Greeted);
    EXPECT_EQ(client.Capabilities(), (std::vector<std::string>{"AUTH LOGIN"}));
    EXPECT_TRUE(client.Authenticate());
    EXPECT_EQ(client.state(), TSmtpClient::State::SignedIn);
    try {
        client.Connect();
        FAIL() << "no failure";
    } catch (const SmtpError& e) {
        EXPECT_STREQ(e.what(), "Already connected.");
    }
    client.Disconnect();
    EXPECT_EQ(client.state(), TSmtpClient::State::Closed);
    EXPECT_TRUE(client.Capabilities().empty());

    // A reconnect to a server that refuses HELO keeps nothing of the last server's: no
    // AUTH LOGIN is tried on a server that never offered it.
    ScriptedSmtpServer refusing("220 hi\r\n", withOverrides({}, {{"EHLO", {"500 no\r\n"}}, {"HELO", {"501 no\r\n"}}}));
    client.Port = refusing.port();
    EXPECT_THROW(client.Connect(), SmtpReplyError);
    EXPECT_TRUE(client.Capabilities().empty());
    EXPECT_FALSE(client.Authenticate());
    EXPECT_EQ(login.commands(), (Commands{"EHLO client.test", "AUTH LOGIN", "dXNlcg==", "cHc=", "QUIT"}));

    // The same client greets again after a disconnect.
    client.Port = login.port();
    client.Connect();
    EXPECT_EQ(login.connections(), 2);
}

TEST(SmtpClient, DisconnectBoundsQuitWithoutTouchingReadTimeout)
{
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{"QUIT", {"", SmtpStep::Then::Stall}}}));
    TSmtpClient client;
    client.ReadTimeout = 30000;
    connect(client, server);
    const auto start = std::chrono::steady_clock::now();
    client.Disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(client.ReadTimeout, 30000);
    EXPECT_FALSE(client.Connected());
}

TEST(SmtpClient, RepliesOverTheirBoundsFailWithTheirOwnText)
{
    std::string manyLines = "220-hi\r\n";
    for (size_t i = 0; i < kMaxReplyLines; ++i)
        manyLines += "220-more\r\n";
    std::string manyBytes;
    for (int i = 0; i < 10; ++i)
        manyBytes += "250-" + std::string(8000, 'x') + "\r\n";
    struct Case {
        const char* name;
        std::string greeting;
        std::string ehlo;
    } const cases[] = {
        {"greeting of endless lines", manyLines + "220 end\r\n", ""},
        {"EHLO reply of many bytes", "220 hi\r\n", manyBytes + "250 end\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, SmtpStep>> overrides;
        if (!c.ehlo.empty())
            overrides.push_back({"EHLO", {c.ehlo}});
        ScriptedSmtpServer server(c.greeting, withOverrides({}, overrides));
        TSmtpClient client;
        try {
            connect(client, server);
            FAIL() << "no failure";
        } catch (const kaldrani::net::NetError& e) {
            EXPECT_EQ(e.kind(), kaldrani::net::NetError::Kind::TooLarge);
            EXPECT_STREQ(e.what(), "Reply too long.");
        }
        EXPECT_FALSE(client.Connected());
    }
}

TEST(SmtpClient, ADrippingServerMeetsADeadline)
{
    using Clock = std::chrono::steady_clock;
    struct Case {
        const char* name;
        const char* dripOn;
        std::string reply;
        const char* message;
    } const cases[] = {
        {"endless EHLO reply", "EHLO", "250-x\r\n", "Reply deadline exceeded."},
        {"one endless reply line", "RCPT", "250 x", "Reply deadline exceeded."},
        {"endless reply to the message", ".", "250-x\r\n", "Message transfer deadline exceeded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{c.dripOn, {c.reply, SmtpStep::Then::Drip}}}));
        TSmtpClient client;
        // Every byte comes well inside one wait; only the deadline can end it.
        client.ReadTimeout = 5000;
        client.ReplyDeadline = 300;
        client.TransferDeadline = 300;
        const auto start = Clock::now();
        try {
            connect(client, server);
            client.Send(message("a@x.org"));
            FAIL() << "no failure";
        } catch (const kaldrani::net::NetError& e) {
            EXPECT_EQ(e.kind(), kaldrani::net::NetError::Kind::Deadline);
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
        EXPECT_FALSE(client.Connected());
    }
}

TEST(SmtpClient, AddressesThatCannotGoIntoACommandSendNothing)
{
    struct Case {
        const char* name;
        std::string from;
        std::string to;
        std::vector<std::string> capabilities;
        const char* message; // empty: sent
    } const cases[] = {
        {"parameter smuggled into RCPT", "s@x.org", "a@b.test>NOTIFY=NEVER", {}, "Invalid address: a@b.test>NOTIFY=NEVER"},
        {"angle bracket in the sender", "s@x.org> SIZE=1", "a@x.org", {}, "Invalid address: s@x.org> SIZE=1"},
        {"NUL in a recipient", std::string("s@x.org"), std::string("a@x.org\0b", 9), {}, "Invalid address: a@x.org"},
        {"ESC in a recipient", "s@x.org", "a@x.org\x1B]0;t\x07", {}, "Invalid address: a@x.org"},
        {"line break in the sender", "s@x.org\r\nRCPT TO:<v@y.org>", "a@x.org", {}, "Invalid address: s@x.org"},
        {"too long for a command", "s@x.org", std::string(500, 'a') + "@x.org", {},
         "Invalid address: too long for a command line"},
        // Room is kept for " SMTPUTF8": "MAIL FROM:<" + 490 + "> SMTPUTF8" + CR LF is 513.
        {"one octet too long with SMTPUTF8", std::string(484, 'a') + "@x.org", "a@x.org", {}, "Invalid address: too long for a command line"},
        {"not ASCII without SMTPUTF8", "s@x.org", "用户@例子.test", {"8BITMIME"},
         "Invalid address: 用户@例子.test (not ASCII, and the server does not offer SMTPUTF8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", standard(c.capabilities));
        TSmtpClient client;
        connect(client, server);
        TMailMessage m = message("x@x.org");
        m.From.address = c.from;
        m.Recipients = {{"", c.to}};
        try {
            client.Send(m);
            FAIL() << "no failure";
        } catch (const SmtpError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(server.commands(), (Commands{"EHLO client.test"}));
        EXPECT_TRUE(client.Connected());
    }
}

TEST(SmtpClient, SettingsThatWouldBreakACommandLineAreRefusedBeforeSending)
{
    struct Case {
        const char* name;
        std::string heloName;
        std::string username;
        const char* message;
    } const cases[] = {
        {"line break in the HELO name", "client.test\r\nMAIL FROM:<v@y.org>", "",
         "Command line too long or broken: EHLO client.test..."},
        {"user name too long for one line", "client.test", std::string(400, 'u'),
         "Command line too long or broken: dXV1dXV1dXV1dXV1..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", standard({"AUTH LOGIN"}));
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = server.port();
        client.HeloName = c.heloName;
        client.Username = c.username;
        try {
            client.Connect();
            client.Authenticate();
            FAIL() << "no failure";
        } catch (const SmtpError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        for (const std::string& command : server.commands()) {
            EXPECT_EQ(command.find("MAIL"), std::string::npos) << command;
            EXPECT_LT(command.size() + 2, kMaxCommandLine) << command;
        }
    }
}

TEST(SmtpClient, TheLongestAddressThatFitsIsSent)
{
    ScriptedSmtpServer server("220 hi\r\n", standard({"SMTPUTF8"}));
    TSmtpClient client;
    connect(client, server);
    TMailMessage m = message("a@x.org");
    m.From.address = std::string(480, 'a') + "@例.test"; // 489 octets
    client.Send(m);
    const std::string mailFrom = server.commands()[2];
    EXPECT_EQ(mailFrom.size() + 2, kMaxCommandLine);
    EXPECT_TRUE(mailFrom.ends_with("> SMTPUTF8")) << mailFrom;
}

TEST(SmtpClient, NonAsciiAddressesUseSmtpUtf8WhenOffered)
{
    ScriptedSmtpServer server("220 hi\r\n", standard({"SMTPUTF8", "8BITMIME"}));
    TSmtpClient client;
    connect(client, server);
    TMailMessage m = message("用户@例子.test");
    client.Send(m);
    EXPECT_EQ(server.commands(), (Commands{"EHLO client.test", "RSET", "MAIL FROM:<sender@example.com> SMTPUTF8",
                                           "RCPT TO:<用户@例子.test>", "DATA", "."}));
    // [rfc6532] headers: the address as UTF-8, not in the system's charset.
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_NE(server.messages()[0].find("\r\nTo: 用户@例子.test\r\n"), std::string::npos) << server.messages()[0];

    // An ASCII message names no SMTPUTF8.
    client.Send(message("a@x.org"));
    EXPECT_EQ(server.commands()[6], "RSET");
    EXPECT_EQ(server.commands()[7], "MAIL FROM:<sender@example.com>");
}

TEST(SmtpClient, ServerClosingMidSendFailsThisAndLaterSendsAtOnce)
{
    ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{"DATA", {"", SmtpStep::Then::Close}}}));
    TSmtpClient client;
    connect(client, server);
    try {
        client.Send(message("a@x.org"));
        FAIL() << "no failure";
    } catch (const kaldrani::net::NetError& e) {
        EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_THROW(client.Send(message("a@x.org")), SmtpError);
    // No RSET went out after the connection failure.
    EXPECT_EQ(server.commands().back(), "DATA");
}

TEST(SmtpClient, EveryWaitIsBounded)
{
    using Clock = std::chrono::steady_clock;
    struct Case {
        const char* name;
        const char* greeting;
        const char* stallOn;
    } const cases[] = {
        {"silent greeting", "", nullptr},
        {"silent after DATA", "220 hi\r\n", "."},
        {"half a reply", "220 hi\r\n", "RSET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, SmtpStep>> overrides;
        if (c.stallOn)
            overrides.push_back({c.stallOn, {std::string(c.stallOn) == "RSET" ? "250-partial\r\n" : "", SmtpStep::Then::Stall}});
        ScriptedSmtpServer server(c.greeting, withOverrides({}, overrides));
        TSmtpClient client;
        client.ReadTimeout = 300;
        const auto start = Clock::now();
        try {
            connect(client, server);
            client.Send(message("a@x.org"));
            FAIL() << "no failure";
        } catch (const kaldrani::net::NetError& e) {
            EXPECT_STREQ(e.what(), "Read timed out.");
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(client.Connected());
    }
}

TEST(SmtpClient, AServerThatStopsReadingDuringDataCannotHoldTheWrite)
{
    struct Case {
        const char* name;
        int readTimeoutMs;
        std::optional<int> transferDeadlineMs; // unset: the client's own
        int lines;                             // of 200 octets: far more than both socket buffers hold
        const char* error;
    };
    const Case cases[] = {
        {"each wait for room is bounded", 300, std::nullopt, 80000, "Socket Error # 110\r\nConnection timed out."},
        {"the whole transfer is bounded", 20000, 300, 40000, "Message transfer deadline exceeded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpServer server("220 hi\r\n", withOverrides({}, {{"DATA", {"354 go\r\n", SmtpStep::Then::Deaf}}}));
        TSmtpClient client;
        client.ReadTimeout = c.readTimeoutMs;
        if (c.transferDeadlineMs) {
            client.TransferDeadline = *c.transferDeadlineMs;
            client.TransferRate = 1 << 30;
        }
        connect(client, server);
        TMailMessage big = message("a@x.org");
        std::string body;
        for (int i = 0; i < c.lines; ++i)
            body += std::string(200, 'x') + "\r\n";
        big.setBody(std::move(body));
        const auto start = std::chrono::steady_clock::now();
        try {
            client.Send(big);
            ADD_FAILURE() << "no failure";
        } catch (const kaldrani::net::NetError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        // Composing 16 MB takes seconds in a sanitizer build; an unbounded write takes for ever.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_FALSE(client.Connected());
    }
}

TEST(SmtpClient, SocketFailuresCarryThePageFetchMessages)
{
    int port;
    {
        ScriptedSmtpServer gone("220 hi\r\n", standard({}));
        port = gone.port();
    }
    TSmtpClient client;
    client.Host = "127.0.0.1";
    client.Port = port;
    try {
        client.Connect();
        FAIL() << "no failure";
    } catch (const kaldrani::net::NetError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 111\r\nConnection refused.");
    }
    client.Host = "no-such-host.invalid";
    try {
        client.Connect();
        FAIL() << "no failure";
    } catch (const kaldrani::net::NetError& e) {
        EXPECT_NE(std::string(e.what()).find("\r\nHost not found."), std::string::npos) << e.what();
    }
    EXPECT_FALSE(client.Connected());
}

TEST(SmtpClient, AddressWithLineBreakNeverReachesTheWire)
{
    ScriptedSmtpServer server("220 hi\r\n", standard({}));
    TSmtpClient client;
    connect(client, server);
    TMailMessage m = message("a@x.org");
    m.From.address = "s@x.org>\r\nRCPT TO:<victim@y.org";
    EXPECT_THROW(client.Send(m), SmtpError);
    for (const std::string& command : server.commands())
        EXPECT_EQ(command.find("victim"), std::string::npos) << command;
}
