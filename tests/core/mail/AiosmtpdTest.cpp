// A whole send run against a real SMTP server (python3-aiosmtpd) on loopback.
#include "core/mail/MailRun.h"
#include "core/net/ConnectTo.h"
#include "core/text/Encoding.h"

#include "ByteFiles.h"
#include "RecordingMailView.h"
#include "TempFolder.h"
#include "TlsPeers.h"

#include "core/net/NetError.h"
#include "core/net/Tls.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace kaldrani::mail;

namespace {

// The sink script, running until its stdin closes.
class Sink {
public:
    // extra: the script's arguments after FOLDER USER (a TLS mode with its certificate).
    Sink(const std::filesystem::path& folder, const std::string& user, const std::string& password,
         const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"python3", KALDRANI_SMTP_SINK, folder.string(), user};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            ::setenv("SINK_PASSWORD", password.c_str(), 1);
            ::execv("/usr/bin/python3", argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        FILE* f = ::fdopen(out[0], "r");
        if (std::fscanf(f, "%d", &m_port) != 1)
            m_port = 0;
        std::fclose(f);
    }
    ~Sink()
    {
        ::close(m_stdin);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_port = 0;
};


using RecordingView = RecordingMailView;

} // namespace

TEST(Aiosmtpd, WholeRunArrivesByteForByte)
{
    const kaldrani::testing::TempFolder temp;
    const std::filesystem::path& folder = temp.path();
    {
        Sink sink(folder, "mailer", "s3cret");
        ASSERT_GT(sink.port(), 0) << "the aiosmtpd sink did not start (is python3-aiosmtpd installed?)";

        TSmtpClient client;
        TMailMessage message;
        message.CharSet = MailCharset{"GB2312", 'B'};
        MailInputs inputs{"a@x.org, 王五 <b@y.org>\r\nc@z.org", "127.0.0.1", "mailer", "s3cret", "sender@example.com",
                          "Sender", "新年好 Kaldrani", "第一行\r\n.\r\n.end"};
        RecordingView view;
        // The run connects to port 25, as the window does; a rule sends it to the sink.
        kaldrani::net::addConnectToRules({{"127.0.0.1", "25", "127.0.0.1", std::to_string(sink.port())}});
        EXPECT_TRUE(runSendMail(client, message, inputs, view));
        kaldrani::net::clearConnectToRules();
        EXPECT_TRUE(view.errors.empty());
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"正在发送至：a@x.org, 王五 <b@y.org>", "正在发送至：c@z.org",
                                                            "发送完成...."}));
    }
    EXPECT_EQ(kaldrani::testing::readBytes(folder / "1.env"), "sender@example.com\na@x.org\nb@y.org\n");
    EXPECT_EQ(kaldrani::testing::readBytes(folder / "2.env"), "sender@example.com\nc@z.org\n");
    const std::string data = kaldrani::testing::readBytes(folder / "1.eml");
    const size_t date = data.find("Date: ");
    ASSERT_NE(date, std::string::npos) << data;
    const std::string expected = "From: \"Sender\" <sender@example.com>\r\n"
                                 "Subject: =?GB2312?B?0MLE6rrD?= Kaldrani\r\n"
                                 "To: a@x.org, =?GB2312?B?zfXO5Q==?= <b@y.org>\r\n";
    EXPECT_EQ(data.substr(0, date), expected);
    const size_t body = data.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    // aiosmtpd undoes the dot-stuffing, so the lines are back as typed.
    EXPECT_EQ(data.substr(body), "\r\n\r\n" + kaldrani::text::utf8ToGbk("第一行") + "\r\n.\r\n.end\r\n\r\n");
}

TEST(Aiosmtpd, NonAsciiAddressesAndAnOverLongLineArrive)
{
    const kaldrani::testing::TempFolder temp;
    const std::filesystem::path& folder = temp.path();
    const std::string longLine = std::string(1500, 'x') + "=end";
    {
        Sink sink(folder, "mailer", "s3cret");
        ASSERT_GT(sink.port(), 0) << "the aiosmtpd sink did not start (is python3-aiosmtpd installed?)";
        TSmtpClient client;
        TMailMessage message;
        message.CharSet = MailCharset{"GB2312", 'B'};
        MailInputs inputs{"用户@例子.test", "127.0.0.1", "mailer", "s3cret", "sender@example.com",
                          "发送者", "Hi", "first\r\n" + longLine + "\r\nlast"};
        RecordingView view;
        kaldrani::net::addConnectToRules({{"127.0.0.1", "25", "127.0.0.1", std::to_string(sink.port())}});
        EXPECT_TRUE(runSendMail(client, message, inputs, view));
        kaldrani::net::clearConnectToRules();
        EXPECT_TRUE(view.errors.empty());
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"正在发送至：用户@例子.test", "发送完成...."}));
    }
    EXPECT_EQ(kaldrani::testing::readBytes(folder / "1.env"), "sender@example.com\n用户@例子.test\n");
    const std::string data = kaldrani::testing::readBytes(folder / "1.eml");
    EXPECT_EQ(data.rfind("From: =?UTF-8?B?5Y+R6YCB6ICF?= <sender@example.com>\r\n", 0), 0u) << data;
    EXPECT_NE(data.find("\r\nTo: 用户@例子.test\r\n"), std::string::npos) << data;
    EXPECT_NE(data.find("\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos)
        << data;
    // The long line arrives in soft-broken pieces that join back to it.
    std::string joined;
    for (size_t at = data.find("\r\n\r\n") + 4; at < data.size();) {
        const size_t end = data.find("\r\n", at);
        const std::string piece = data.substr(at, end - at);
        EXPECT_LE(piece.size(), 76u);
        joined += piece.ends_with("=") ? piece.substr(0, piece.size() - 1) : piece + "\n";
        at = end + 2;
    }
    EXPECT_EQ(joined, "first\n" + std::string(1500, 'x') + "=3Dend\nlast\n\n");
}

// The same run to a named server over TLS, as a provider asks: the certificate checked
// against the tests' own authority, the password only inside TLS.
TEST(Aiosmtpd, EncryptedRunsSignInOnlyInsideTls)
{
    const kaldrani::testing::TestCertificates certs;
    kaldrani::net::addTrustAnchorFile(certs.file("ca.pem"));
    using Mode = TSmtpClient::TlsMode;
    struct Case {
        const char* name;
        std::vector<std::string> sink; // its arguments after FOLDER USER, the certificate's name last
        const char* server;            // as typed
        Mode mode;
        const char* failure; // null: the message arrives
    } const cases[] = {
        {"STARTTLS, AUTH offered only after it", {"starttls", "good"}, "a.example", Mode::Auto, nullptr},
        {"STARTTLS offering PLAIN alone", {"starttls", "good", "--no-login"}, "a.example", Mode::Auto, nullptr},
        {"implicit TLS on 465", {"implicit", "good"}, "a.example:465", Mode::Auto, nullptr},
        {"implicit TLS asked for on another port", {"implicit", "good"}, "a.example:2465", Mode::Implicit, nullptr},
        {"an expired certificate", {"starttls", "expired"}, "a.example", Mode::Auto, "TLS: certificate has expired"},
        {"a certificate for another name", {"starttls", "other"}, "a.example", Mode::Auto,
         "TLS: certificate is for other.example, not a.example"},
        {"an authority nobody trusts", {"implicit", "unknown"}, "a.example:465", Mode::Auto,
         "TLS: unable to get local issuer certificate"},
        {"no TLS at all", {}, "a.example", Mode::Auto, "服务器不支持加密连接，密码未发送"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kaldrani::testing::TempFolder temp;
        std::vector<std::string> extra;
        if (!c.sink.empty()) {
            const std::string name = c.sink[1];
            extra = {c.sink[0], certs.file(name + ".pem"), certs.file(name + ".key")};
            extra.insert(extra.end(), c.sink.begin() + 2, c.sink.end());
        }
        RecordingView view;
        {
            Sink sink(temp.path(), "mailer", "s3cret", extra);
            ASSERT_GT(sink.port(), 0) << "the aiosmtpd sink did not start (is python3-aiosmtpd installed?)";
            // The typed name is what the certificate must match; the rule only says where it is.
            kaldrani::net::addConnectToRules({{"a.example", "", "127.0.0.1", std::to_string(sink.port())}});
            TSmtpClient client;
            client.Tls = c.mode;
            TMailMessage message;
            MailInputs inputs{"a@x.org", c.server, "mailer", "s3cret", "sender@example.com", "Sender", "Hi", "body"};
            EXPECT_EQ(runSendMail(client, message, inputs, view), c.failure == nullptr);
            kaldrani::net::clearConnectToRules();
        }
        if (c.failure) {
            EXPECT_EQ(view.errors, std::vector<std::string>{c.failure});
            EXPECT_FALSE(std::filesystem::exists(temp.path() / "1.env"));
        } else {
            EXPECT_TRUE(view.errors.empty()) << view.errors.front();
            EXPECT_EQ(kaldrani::testing::readBytes(temp.path() / "1.env"), "sender@example.com\na@x.org\n");
        }
    }
}
