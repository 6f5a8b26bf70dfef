#include "ClosedPort.h"
#include "LookupPages.h"
#include "ProcessRunner.h"
#include "ScriptedServer.h"
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kaldrani;
using kaldrani::testing::crlfLines;
using kaldrani::testing::ProcessResult;
using kaldrani::testing::runProcess;

class LookupCli : public ::testing::Test {
protected:
    ProcessResult cli(std::vector<std::string> args, int port = -1)
    {
        args.insert(args.begin(),
                    {KALDRANI_CLI, "--connect-to", "::127.0.0.1:" + std::to_string(port < 0 ? server.port() : port)});
        return runProcess(args, {"KALDRANI_CONNECT_TO="});
    }

    standin::StandinServer server;
};

TEST_F(LookupCli, PrintsWhatTheWindowsShow)
{
    const auto own = standin::placeOf(standin::kStandinOwnAddress);
    const auto address = standin::placeOf("192.0.2.1");
    const auto host = standin::placeOf("example.com");
    ASSERT_TRUE(own && address && host);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
        std::string target;
    };
    const Case cases[] = {
        {"whois", {"whois", "example.com"}, "\r\n" + crlfLines(standin::whoisRecord("example.com")),
         "/cgi-bin/whois?domain=example.com"},
        {"whois drops www.", {"whois", "www.example.com"}, "\r\n" + crlfLines(standin::whoisRecord("example.com")),
         "/cgi-bin/whois?domain=example.com"},
        {"own address", {"ip"}, "您的IP是：203.0.113.25\r\n来自：" + own->region + " " + own->network, "/ip/data/"},
        {"address", {"ip", "192.0.2.1"},
         "您查询的IP：192.0.2.1\r\n所在地区：" + address->region + "\r\n网络类型：" + address->network,
         "/ip/data/?ip=192.0.2.1"},
        {"host after http://", {"ip", "http://example.com"},
         "您查询的IP：" + host->address + "\r\n域名：example.com\r\n所在地区：" + host->region + "\r\n网络类型："
             + host->network,
         "/ip/data/?ip=example.com"},
        {"empty text", {"ip", ""}, "查询失败 !", "/ip/data/?ip="},
        {"the hint text", {"ip", "请输入IP地址或者域名"}, "查询失败 !", "/ip/data/?ip=???IP??????"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.clearRequests();
        const ProcessResult r = cli(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].target, c.target);
    }
}

TEST_F(LookupCli, FailuresPrintTheWindowsFailureTextsAndSucceed)
{
    standin::Response broken = standin::gbkPage("<!-- start -->记录友情提示 您查询的IP:1<br/>");
    broken.status = 500;
    broken.reason = "Internal Server Error";
    server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", broken);
    server.setAnswer(endpoints::kMaker, "/ip/data/", broken);

    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {"whois", {"whois", "example.com"}, "\r\n网络超时，请稍后重试..."},
        {"own address", {"ip"}, ""},
        {"lookup", {"ip", "192.0.2.1"}, "网络超时,请稍后重试..."},
    };
    const int nobody = kaldrani::testing::closedLoopbackPort();
    for (const Case& c : cases) {
        for (const int port : {server.port(), nobody}) {
            SCOPED_TRACE(std::string(c.name) + (port == nobody ? ", nobody listening" : ", server error"));
            const ProcessResult r = cli(c.args, port);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(r.err, "") << "without --why stderr stays quiet";
        }
    }
}

TEST_F(LookupCli, WhySaysOnStderrWhyALookupFailed)
{
    standin::Response broken = standin::gbkPage("x");
    broken.status = 500;
    broken.reason = "Internal Server Error";
    server.setAnswer(endpoints::kMaker, "/ip/data/", broken);
    server.setAnswer(endpoints::kWhois, "/cgi-bin/whois", standin::gbkPage(""));
    const int nobody = kaldrani::testing::closedLoopbackPort();

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int port; // -1: the stand-in
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"whois answered", {"whois", "--why", "example.com"}, nobody, "\r\n网络超时，请稍后重试...",
         "Socket Error # 111 Connection refused.\n"},
        {"whois, empty record", {"whois", "--why", "example.com"}, -1, "\r\n网络超时，请稍后重试...",
         "no record on the page\n"},
        {"own address", {"ip", "--why"}, -1, "", "HTTP/1.1 500 Internal Server Error\n"},
        {"lookup", {"ip", "--why", "192.0.2.1"}, nobody, "网络超时,请稍后重试...",
         "Socket Error # 111 Connection refused.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult r = cli(c.args, c.port);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }

    server.clearAnswers();
    const ProcessResult fine = cli({"ip", "--why", "192.0.2.1"});
    EXPECT_NE(fine.out, "网络超时,请稍后重试...");
    EXPECT_EQ(fine.err, "") << "an answer has no reason";
}

TEST_F(LookupCli, ABareCarriageReturnIsShownEscapedWhileLineEndsStay)
{
    using kaldrani::testing::reply;
    // A record line that returns to its start to overprint itself, beside ordinary CR LF
    // lines, which the whois text turns into CR CR LF.
    const std::string body =
        text::utf8ToGbk("<!-- start -->Registrar: good\rRegistrar: evil\r\nStatus: ok\n友情提示");
    const std::string gbk = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    kaldrani::testing::ScriptedServer scripted({reply(gbk), reply(gbk)});
    const auto whois = cli({"whois", "example.com"}, scripted.port());
    EXPECT_EQ(whois.exitCode, 0) << whois.err;
    EXPECT_EQ(whois.out, "Registrar: good\\x0DRegistrar: evil\r\r\nStatus: ok\r\n");

    const std::string page = text::utf8ToGbk("您查询的IP:1\r来自:x<br>y<br/>");
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page;
    kaldrani::testing::ScriptedServer ipServer({reply(answer)});
    const auto ip = cli({"ip", "1"}, ipServer.port());
    EXPECT_EQ(ip.exitCode, 0) << ip.err;
    EXPECT_EQ(ip.out, "您查询的IP：1\\x0D来自：x\r\ny");
}

TEST_F(LookupCli, WrongNumberOfArgumentsExitsTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"whois"}, {"whois", "a.com", "b.com"}, {"ip", "1.2.3.4", "5.6.7.8"}}) {
        SCOPED_TRACE(args.size() > 1 ? args[1] : args[0]);
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
    }
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
