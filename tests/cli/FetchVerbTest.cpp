#include "ClosedPort.h"
#include "ProcessRunner.h"
#include "ProxyPeers.h"
#include "ScriptedServer.h"
#include "TlsPeers.h"

#include <gtest/gtest.h>

#include <fstream>

using kaldrani::testing::okAnswer;

using kaldrani::testing::ProcessResult;
using kaldrani::testing::Reply;
using kaldrani::testing::reply;
using kaldrani::testing::runProcess;
using kaldrani::testing::ScriptedServer;

namespace {

// "{url}" in an argument stands for the server's address of "/p", "{port}" for its port.
std::vector<std::string> expandArgs(std::vector<std::string> args, const ScriptedServer& server)
{
    for (auto& a : args) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{url}", server.url("/p")},
                                         {"{port}", std::to_string(server.port())}}) {
            for (size_t pos; (pos = a.find(key)) != std::string::npos;)
                a.replace(pos, key.size(), value);
        }
    }
    args.insert(args.begin(), KALDRANI_CLI);
    return args;
}

} // namespace

TEST(FetchVerb, Contract)
{
    struct Case {
        const char* name;
        std::vector<Reply> replies;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
        std::string out;
        std::string err;
        std::string agentLine; // the User-Agent line the request must carry; "-" for none
    };
    const std::string agent = "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";
    const std::string redirect = "HTTP/1.1 302 Found\r\nLocation: /q\r\nContent-Length: 0\r\n\r\n";
    const Case cases[] = {
        {"stream form reads GBK", {reply(okAnswer("\xd5\xd2\xb5\xbd"))}, {"fetch", "{url}"}, {}, 0, "找到", "", agent},
        {"string form decodes declared UTF-8",
         {reply(okAnswer("找到", "Content-Type: text/html; charset=utf-8\r\n"))}, {"fetch", "--string", "{url}"}, {}, 0, "找到",
         "", agent},
        {"string form without charset", {reply(okAnswer("\xe9"))}, {"fetch", "--string", "{url}"}, {}, 0, "é", "", agent},
        {"empty user agent", {reply(okAnswer("x"))}, {"fetch", "--user-agent", "", "{url}"}, {}, 0, "x", "", "-"},
        {"own user agent", {reply(okAnswer("x"))}, {"fetch", "--user-agent", "Probe/1", "{url}"}, {}, 0, "x", "",
         "User-Agent: Probe/1\r\n"},
        {"redirect not followed", {reply(redirect)}, {"fetch", "{url}"}, {}, 1, "", "HTTP 302 HTTP/1.1 302 Found\n",
         agent},
        {"redirect followed", {reply(redirect, Reply::Then::KeepOpen), reply(okAnswer("there"))}, {"fetch", "--follow", "{url}"},
         {}, 0, "there", "", agent},
        {"status failure", {reply("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")}, {"fetch", "{url}"}, {}, 1, "",
         "HTTP 404 HTTP/1.1 404 Not Found\n", agent},
        {"status line without a code", {reply("garbage\r\n\r\n")}, {"fetch", "{url}"}, {}, 1, "", "HTTP -1 garbage\n",
         agent},
        {"socket failure", {Reply{{"HTTP/1.1 200 OK\r\n\r\nab"}, Reply::Then::Reset}}, {"fetch", "{url}"}, {}, 1, "",
         "Socket Error # 104\r\nConnection reset by peer.\n", agent},
        {"read time-out", {Reply{{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab"}, Reply::Then::Stall}},
         {"fetch", "--read-timeout", "50", "{url}"}, {}, 1, "", "Read timed out.\n", agent},
        {"connect-to option", {reply(okAnswer("stand-in"))},
         {"--connect-to", "www.example.test:80:127.0.0.1:{port}", "fetch", "http://www.example.test/p"}, {}, 0,
         "stand-in", "", agent},
        {"connect-to from the environment", {reply(okAnswer("stand-in"))}, {"fetch", "http://www.example.test/p"},
         {"KALDRANI_CONNECT_TO=other:1::1,::127.0.0.1:"}, 0, "stand-in", "", agent},
        {"unknown scheme", {}, {"fetch", "gopher://127.0.0.1/"}, {}, 1, "", "Unknown Protocol\n", ""},
        {"trust anchor file without a certificate", {}, {"--cacert", "/dev/null", "fetch", "{url}"}, {}, 2, "",
         "kaldrani-cli: TLS: cannot read trust anchors from \"/dev/null\".\n", ""},
        {"missing URL", {}, {"fetch"}, {}, 2, "", "", ""},
        {"read time-out not a number", {}, {"fetch", "--read-timeout", "soon", "{url}"}, {}, 2, "", "", ""},
        {"malformed connect-to", {}, {"--connect-to", "a:b", "fetch", "{url}"}, {}, 2, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.replies);
        std::vector<std::string> environment = c.environment;
        for (auto& e : environment)
            if (e.ends_with(':'))
                e += std::to_string(server.port());
        const ProcessResult result = runProcess(expandArgs(c.args, server), environment);
        EXPECT_EQ(result.exitCode, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        if (c.status == 2)
            EXPECT_FALSE(result.err.empty());
        else
            EXPECT_EQ(result.err, c.err);
        const auto requests = server.requests();
        if (c.agentLine.empty()) {
            EXPECT_TRUE(requests.empty());
        } else {
            ASSERT_FALSE(requests.empty());
            if (c.agentLine == "-")
                EXPECT_EQ(requests[0].find("User-Agent"), std::string::npos);
            else
                EXPECT_NE(requests[0].find(c.agentLine), std::string::npos) << requests[0];
        }
    }
}

TEST(FetchVerb, HttpsTrustsTheSystemStoreAndWhatTheUserAdds)
{
    const kaldrani::testing::TestCertificates certs;
    std::ofstream(certs.file("p.html"), std::ios::binary) << "secret page";
    const kaldrani::testing::OpensslServer server(certs, "good");
    const std::string connectTo = "a.example::127.0.0.1:" + std::to_string(server.port());
    const std::string url = "https://a.example/p.html";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"the test authority is nobody's", {"--connect-to", connectTo, "fetch", url}, {"KALDRANI_CA_FILE"}, 1, "",
         "TLS: unable to get local issuer certificate\n"},
        {"added with --cacert", {"--cacert", certs.file("ca.pem"), "--connect-to", connectTo, "fetch", url},
         {"KALDRANI_CA_FILE"}, 0, "secret page", ""},
        {"added from the environment", {"--connect-to", connectTo, "fetch", url},
         {"KALDRANI_CA_FILE=" + certs.file("ca.pem")}, 0, "secret page", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), KALDRANI_CLI);
        const ProcessResult result = runProcess(args, c.environment);
        EXPECT_EQ(result.exitCode, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

// The environment's proxies and --proxy above them, as every fetch takes them.
TEST(FetchVerb, ProxiesFromTheEnvironmentAndTheCommandLine)
{
    ScriptedServer server([](const std::string&) { return reply(okAnswer("via")); });
    kaldrani::testing::Tinyproxy proxy;
    const std::string closed = "http://127.0.0.1:" + std::to_string(kaldrani::testing::closedLoopbackPort());
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"http_proxy", {"fetch", "{url}"}, {"http_proxy=" + proxy.url()}, 0, "via", ""},
        {"upper-case HTTP_PROXY is never read", {"fetch", "{url}"}, {"HTTP_PROXY=" + closed, "http_proxy"}, 0, "via", ""},
        {"no_proxy exempts the host", {"fetch", "{url}"}, {"http_proxy=" + closed, "no_proxy=127.0.0.1"}, 0, "via", ""},
        {"--proxy over the environment", {"--proxy", proxy.url(), "fetch", "{url}"}, {"http_proxy=" + closed}, 0, "via", ""},
        {"--proxy '' goes direct", {"--proxy", "", "fetch", "{url}"}, {"all_proxy=" + closed}, 0, "via", ""},
        {"a refusing proxy is named, never its password",
         {"--proxy", "http://me:hush@" + closed.substr(7), "fetch", "{url}"}, {}, 1, "",
         "proxy: connection refused by " + closed.substr(7) + "\n"},
        {"a malformed --proxy", {"--proxy", "gopher://x", "fetch", "{url}"}, {}, 2, "",
         "kaldrani-cli: proxy: proxy scheme \"gopher\" is not http, socks5 or socks5h\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> environment = {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                                "no_proxy", "NO_PROXY"};
        environment.insert(environment.end(), c.environment.begin(), c.environment.end());
        const ProcessResult r = runProcess(expandArgs(c.args, server), environment);
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}
