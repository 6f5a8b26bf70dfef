// kaldrani-cli mail, the real binary against the stand-in SMTP service.
#include "ByteFiles.h"
#include "ProcessRunner.h"
#include "SmtpStandin.h"
#include "TempFolder.h"
#include "TlsPeers.h"

#include "core/sys/LoopbackListener.h"

#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using kaldrani::testing::runProcess;

using kaldrani::testing::lines;

class MailCli : public ::testing::Test {
protected:
    MailCli()
    {
        write("body.txt", "\xEF\xBB\xBF第一行\r\n.\r\nend\r\n");
        write("list.txt", "a@x.org\r\n\r\nb@refused.invalid\r\nc@y.org; 赵六 <d@z.org>\r\n");
    }
    fs::path path(const char* name) const { return m_temp / name; }
    void write(const char* name, const std::string& bytes) { kaldrani::testing::writeBytes(m_temp / name, bytes); }
    // The verb with every input given, except those named in leaveOut.
    std::vector<std::string> argv(int smtpPort, const std::vector<std::string>& leaveOut = {}) const
    {
        std::vector<std::string> args{KALDRANI_CLI, "--connect-to", ":25:127.0.0.1:" + std::to_string(smtpPort), "mail"};
        const std::vector<std::pair<std::string, std::string>> options = {
            {"--server", "localhost"},  {"--user", "mailer"},
            {"--from", "sender@example.com"},   {"--name", "发送者"},
            {"--subject", "新年好"},             {"--body-file", path("body.txt").string()},
            {"--list-file", path("list.txt").string()},
        };
        for (const auto& [option, value] : options) {
            if (std::find(leaveOut.begin(), leaveOut.end(), option) != leaveOut.end())
                continue;
            args.push_back(option);
            args.push_back(value);
        }
        return args;
    }

    kaldrani::testing::TempFolder m_folder;
    const fs::path& m_temp = m_folder.path();
};

const std::vector<std::string> kEnvironment = {"KALDRANI_SMTP_PASSWORD=pw", "LC_ALL=", "LC_MESSAGES=",
                                               "LANG=zh_CN.UTF-8", "KALDRANI_CONNECT_TO="};

} // namespace

TEST_F(MailCli, PrintsEveryStatusTextAndSendsEachLine)
{
    kaldrani::standin::SmtpStandin standin(m_temp / "mail");
    const auto run = runProcess(argv(standin.port()), kEnvironment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "kaldrani-cli: mail: 2 sent, 2 failed\n");
    EXPECT_EQ(lines(run.out), (std::vector<std::string>{
                                  "正在发送至：a@x.org",
                                  "正在发送至：",
                                  "正在发送至：失败 !",
                                  "正在发送至：b@refused.invalid",
                                  "正在发送至：b@refused.invalid失败 !",
                                  "正在发送至：c@y.org; 赵六 <d@z.org>",
                                  "发送完成....",
                              }));
    EXPECT_EQ(standin.messagesWritten(), 2);
    EXPECT_EQ(kaldrani::testing::readBytes(m_temp / "mail" / "000002.env"), "sender@example.com\nc@y.org\nd@z.org\n");
    const std::string data = kaldrani::testing::readBytes(m_temp / "mail" / "000002.eml");
    EXPECT_NE(data.find("\r\nSubject: =?GB2312?B?0MLE6rrD?=\r\nTo: c@y.org, =?GB2312?B?1dTB+Q==?= <d@z.org>\r\n"),
              std::string::npos)
        << data;
    EXPECT_EQ(data.substr(data.find("\r\n\r\n")), "\r\n\r\n" + kaldrani::text::utf8ToGbk("第一行") + "\r\n.\r\nend\r\n\r\n");
}

// The stand-in offers no TLS: a named server gets no password unless --tls none says so.
TEST_F(MailCli, APasswordGoesInClearTextOnlyWhenNoneSaysSo)
{
    kaldrani::standin::SmtpStandin standin(m_temp / "mail");
    auto args = argv(standin.port());
    *(std::find(args.begin(), args.end(), "--server") + 1) = "mail.example.test";
    auto run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "kaldrani-cli: 服务器不支持加密连接，密码未发送\nkaldrani-cli: mail: 0 sent, 4 failed\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(standin.messagesWritten(), 0);

    args.insert(args.end(), {"--tls", "none"});
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "kaldrani-cli: mail: --tls none: nothing is encrypted, the password included\n"
                       "kaldrani-cli: mail: 2 sent, 2 failed\n");
    EXPECT_EQ(standin.messagesWritten(), 2);

    // Required TLS the stand-in does not offer ends the run before any sign-in, even to localhost.
    args = argv(standin.port());
    args.insert(args.end(), {"--tls", "starttls"});
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "kaldrani-cli: 服务器不支持加密连接\nkaldrani-cli: mail: 0 sent, 4 failed\n");

    for (const char* bad : {"localhost:0", "localhost:smtp", ":25"}) {
        SCOPED_TRACE(bad);
        args = argv(standin.port());
        *(std::find(args.begin(), args.end(), "--server") + 1) = bad;
        run = runProcess(args, kEnvironment);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, std::string("kaldrani-cli: --server: Invalid server: ") + bad + "\n");
    }
    args = argv(standin.port());
    args.insert(args.end(), {"--tls", "sometimes"});
    EXPECT_EQ(runProcess(args, kEnvironment).exitCode, 2);
    EXPECT_EQ(standin.messagesWritten(), 2);
}

TEST_F(MailCli, MissingInputsStopWithTheirMessage)
{
    write("empty.txt", "");
    struct Case {
        std::vector<std::string> leaveOut;
        bool password;
        const char* message;
    } const cases[] = {
        {{"--list-file"}, true, "请输入邮件地址"},
        {{"--server", "--user"}, true, "请输入服务器地址"},
        {{"--user"}, true, "请输入用户名"},
        {{}, false, "请输入密码"},
        {{"--from"}, true, "请输入发送者邮件地址"},
        {{"--name"}, true, "请输入发送者称谓"},
        {{"--subject"}, true, "请输入邮件标题"},
        {{"--body-file"}, true, "请输入邮件内容"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> environment = kEnvironment;
        if (!c.password)
            environment.front() = "KALDRANI_SMTP_PASSWORD=";
        // Nothing listens: an input check that let the run start would fail with status 1.
        const auto run = runProcess(argv(1, c.leaveOut), environment);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, std::string(c.message) + "\n");
        EXPECT_EQ(run.out, "");
    }
    // An empty body file is an empty body; standard input (empty here) is read for "-".
    auto args = argv(1);
    args[args.size() - 3] = path("empty.txt").string();
    EXPECT_EQ(runProcess(args, kEnvironment).err, "请输入邮件内容\n");
    args = argv(1);
    args.back() = "-";
    EXPECT_EQ(runProcess(args, kEnvironment).err, "请输入邮件地址\n");
}

TEST_F(MailCli, ConnectFailureAndBadOptions)
{
    int port;
    {
        kaldrani::standin::SmtpStandin gone(m_temp / "mail");
        port = gone.port();
    }
    auto run = runProcess(argv(port), kEnvironment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "kaldrani-cli: Socket Error # 111\nConnection refused.\nkaldrani-cli: mail: 0 sent, 4 failed\n");
    EXPECT_EQ(run.out, "");

    auto args = argv(port);
    args.push_back("--no-such-option");
    EXPECT_EQ(runProcess(args, kEnvironment).exitCode, 2);

    args = argv(port);
    args[args.size() - 3] = "-";
    args.back() = "-";
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("standard input"), std::string::npos) << run.err;

    args = argv(port);
    args.back() = path("missing.txt").string();
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("missing.txt"), std::string::npos) << run.err;
}

TEST_F(MailCli, FailedLinesGoToTheFailedFileForARetry)
{
    kaldrani::standin::SmtpStandin standin(m_temp / "mail");
    auto args = argv(standin.port());
    args.insert(args.end(), {"--failed-file", path("failed.txt").string(), "--why"});
    auto run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(kaldrani::testing::readBytes(path("failed.txt")), "\nb@refused.invalid\n");
    // The reasons on one line each, then the summary.
    const std::vector<std::string> err = lines(run.err);
    ASSERT_EQ(err.size(), 3u) << run.err;
    EXPECT_EQ(err[0].rfind("\t", 0), 0u) << err[0];
    EXPECT_EQ(err[1].rfind("b@refused.invalid\t", 0), 0u) << err[1];
    EXPECT_EQ(err[2], "kaldrani-cli: mail: 2 sent, 2 failed");

    // The retry sends exactly those lines; the file is rewritten with what failed again.
    args = argv(standin.port());
    args.back() = path("failed.txt").string();
    args.insert(args.end(), {"--failed-file", path("failed.txt").string()});
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(lines(run.out), (std::vector<std::string>{"正在发送至：", "正在发送至：失败 !", "正在发送至：b@refused.invalid",
                                                         "正在发送至：b@refused.invalid失败 !", "发送完成...."}));
    EXPECT_EQ(run.err, "kaldrani-cli: mail: 0 sent, 2 failed\n");
    EXPECT_EQ(standin.messagesWritten(), 2);

    // A run that cannot connect sent nothing: every line is in the file.
    int gonePort;
    {
        kaldrani::standin::SmtpStandin gone(m_temp / "gone");
        gonePort = gone.port();
    }
    args = argv(gonePort);
    args.insert(args.end(), {"--failed-file", path("all.txt").string()});
    EXPECT_EQ(runProcess(args, kEnvironment).exitCode, 1);
    EXPECT_EQ(kaldrani::testing::readBytes(path("all.txt")), "a@x.org\n\nb@refused.invalid\nc@y.org; 赵六 <d@z.org>\n");

    // A file that cannot be written is a failure, not a silent loss of the list.
    args = argv(standin.port());
    args.insert(args.end(), {"--failed-file", path("no-such-folder/failed.txt").string()});
    run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("--failed-file"), std::string::npos) << run.err;
}

TEST_F(MailCli, TerminalControlsFromTheListAreShownEscaped)
{
    kaldrani::standin::SmtpStandin standin(m_temp / "mail");
    // Sized by the compiler: the list holds a NUL.
    constexpr char list[] = "x@y.org\x1B]0;owned\x07\x1B[2J\r\nn\0ul@y.org\r\n";
    write("list.txt", std::string(list, sizeof list - 1));
    auto args = argv(standin.port());
    args.push_back("--why");
    const auto run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& stream : {run.out, run.err}) {
        for (const char c : stream)
            EXPECT_TRUE(c == '\n' || c == '\t' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    }
    EXPECT_NE(run.out.find("正在发送至：x@y.org\\x1B]0;owned\\x07\\x1B[2J失败 !"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("正在发送至：n\\x00ul@y.org失败 !"), std::string::npos) << run.out;
    // Nothing with a control byte went out.
    EXPECT_EQ(standin.messagesWritten(), 0);
}

namespace {

// An implicit-TLS mail server that takes every command, answers DATA with 354 and then
// drops the connection while the message is on its way: the writes that follow meet a
// closed socket.
class TlsServerDroppingData {
public:
    explicit TlsServerDroppingData(const kaldrani::testing::TestCertificates& certs)
        : m_context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free)
    {
        SSL_CTX_use_certificate_chain_file(m_context.get(), certs.file("good.pem").c_str());
        SSL_CTX_use_PrivateKey_file(m_context.get(), certs.file("good.key").c_str(), SSL_FILETYPE_PEM);
        m_thread = std::thread([this] {
            while (kaldrani::sys::UniqueFd fd = m_listener.accept())
                serve(fd.get());
        });
    }
    ~TlsServerDroppingData()
    {
        m_listener.wake();
        m_thread.join();
    }
    int port() const { return m_listener.port(); }
    int connections() const { return m_connections; }

private:
    void serve(int fd)
    {
        ++m_connections;
        std::unique_ptr<SSL, void (*)(SSL*)> ssl(SSL_new(m_context.get()), SSL_free);
        SSL_set_fd(ssl.get(), fd);
        if (SSL_accept(ssl.get()) != 1)
            return;
        const auto say = [&ssl](std::string_view reply) { SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size())); };
        say("220 a.example\r\n");
        std::string pending;
        char chunk[4096];
        for (;;) {
            const int n = SSL_read(ssl.get(), chunk, sizeof chunk);
            if (n <= 0)
                return;
            pending.append(chunk, static_cast<size_t>(n));
            for (size_t end; (end = pending.find("\r\n")) != std::string::npos; pending.erase(0, end + 2)) {
                const std::string command = pending.substr(0, end);
                if (command.starts_with("DATA")) {
                    say("354 go on\r\n");
                    return; // the socket closes with the TLS session unfinished
                }
                say(command.starts_with("EHLO") ? "250 a.example\r\n" : "250 ok\r\n");
            }
        }
    }

    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> m_context;
    kaldrani::sys::LoopbackListener m_listener;
    std::atomic<int> m_connections = 0;
    std::thread m_thread;
};

} // namespace

// A peer gone mid-message over TLS fails that line; the program goes on, not killed by SIGPIPE.
TEST_F(MailCli, AServerThatClosesDuringATlsMessageFailsThatLineOnly)
{
    const kaldrani::testing::TestCertificates certs;
    TlsServerDroppingData server(certs);
    write("body.txt", std::string(5 << 20, 'x'));
    write("list.txt", "a@x.org\r\nb@y.org\r\n");
    std::vector<std::string> args = argv(server.port(), {"--server"});
    args[2] = ":465:127.0.0.1:" + std::to_string(server.port());
    args.insert(args.begin() + 1, {"--cacert", certs.file("ca.pem")});
    args.insert(args.end(), {"--server", "a.example:465", "--failed-file", path("failed.txt").string()});
    const auto run = runProcess(args, kEnvironment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "kaldrani-cli: mail: 0 sent, 2 failed\n");
    EXPECT_EQ(kaldrani::testing::readBytes(path("failed.txt")), "a@x.org\nb@y.org\n");
    // The second line is tried on the broken session and fails at once, as after any
    // connection lost mid-run.
    EXPECT_EQ(server.connections(), 1);
}
