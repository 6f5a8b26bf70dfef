#include "OverviewPages.h"
#include "ProcessRunner.h"
#include "StandinServer.h"
#include "core/text/Encoding.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace kaldrani::testing {
namespace {

using standin::StandinServer;

// Sends the bytes to the server and returns everything it answers until it closes.
std::string exchangeBytes(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "(no connection)";
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    char chunk[4096];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
        answer.append(chunk, static_cast<std::size_t>(n));
    ::close(fd);
    return answer;
}

std::string get(int port, const std::string& host, const std::string& target)
{
    return exchangeBytes(port, "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
}

std::string bodyOf(const std::string& answer)
{
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

TEST(StandinServer, DispatchesOnHostAndPath)
{
    StandinServer server;
    struct Case {
        const char* name;
        const char* host;
        const char* target;
        const char* statusLine;
        const char* bodyHolds; // UTF-8, after decoding GBK pages
        bool gbk;
    };
    const Case cases[] = {
        {"baidu page in GBK", "www.baidu.com", "/s?wd=site:example.com", "HTTP/1.1 200 OK", "找到相关网页约", true},
        {"host without case, with a port", "WWW.Baidu.COM:80", "/s?wd=domain:example.com", "HTTP/1.1 200 OK",
         "找到相关网页约", true},
        {"bing page in UTF-8", "cn.bing.com", "/search?q=link:example.com", "HTTP/1.1 200 OK", "条结果，共 ", false},
        {"same path, other host", "www.youdao.com", "/search?q=site:example.com", "HTTP/1.1 200 OK", "共约", false},
        {"version page", "www.kaldrani.com", "/version.html", "HTTP/1.1 200 OK", "1.6", false},
        {"unknown path", "www.baidu.com", "/nothing", "HTTP/1.1 404 Not Found", "404", false},
        {"unknown host", "www.example.org", "/s", "HTTP/1.1 404 Not Found", "404", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string answer = get(server.port(), c.host, c.target);
        EXPECT_EQ(answer.substr(0, answer.find("\r\n")), c.statusLine);
        const std::string body = c.gbk ? text::gbkToUtf8(bodyOf(answer)) : bodyOf(answer);
        EXPECT_NE(body.find(c.bodyHolds), std::string::npos) << body;
        EXPECT_NE(answer.find(c.gbk ? "charset=gb2312" : "charset=utf-8"), std::string::npos);
    }
}

TEST(StandinServer, FiguresAreStablePerDomainAndDifferAcrossDomains)
{
    const auto a = standin::overviewFigures("example.com");
    const auto again = standin::overviewFigures("EXAMPLE.com");
    const auto b = standin::overviewFigures("example.net");
    EXPECT_EQ(a.indexed, again.indexed);
    EXPECT_EQ(a.alexaRank, again.alexaRank);
    EXPECT_NE(a.indexed, b.indexed);
    EXPECT_NE(a.backlinks, b.backlinks);
    for (const auto& f : {a, b}) {
        EXPECT_GE(f.pageRank, 0);
        EXPECT_LE(f.pageRank, 10);
        EXPECT_GE(f.sogouRating, 0);
        EXPECT_LE(f.sogouRating, 100);
        for (const auto n : f.indexed)
            EXPECT_GE(n, 100);
    }
    EXPECT_EQ(standin::withGroupingCommas(1234567), "1,234,567");
    EXPECT_EQ(standin::withGroupingCommas(123), "123");
}

TEST(StandinServer, AnswersOverrideRoutesUntilCleared)
{
    StandinServer server;
    standin::Response teapot;
    teapot.status = 418;
    teapot.reason = "Teapot";
    teapot.headers = {{"X-Test", "1"}};
    teapot.body = std::string("\xff\x00\x01", 3);
    server.setAnswer("WWW.SOGOU.COM", "/web", teapot);
    const std::string answer = get(server.port(), "www.sogou.com", "/web?query=link:a.com");
    EXPECT_EQ(answer, "HTTP/1.1 418 Teapot\r\nX-Test: 1\r\nContent-Length: 3\r\nConnection: close\r\n\r\n" + teapot.body);

    standin::Response raw;
    raw.raw = "HTTP/1.0 200 OK\r\n\r\nraw";
    server.setAnswer("www.kaldrani.com", "/version.html", raw);
    EXPECT_EQ(get(server.port(), "www.kaldrani.com", "/version.html"), "HTTP/1.0 200 OK\r\n\r\nraw");

    server.clearAnswers();
    server.setVersionBody("1.7");
    EXPECT_EQ(bodyOf(get(server.port(), "www.kaldrani.com", "/version.html")), "1.7");
    EXPECT_NE(text::gbkToUtf8(get(server.port(), "www.sogou.com", "/web?query=link:a.com")).find("搜狗评级:"),
              std::string::npos);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].host, "www.sogou.com");
    EXPECT_EQ(requests[0].param("query").value_or(""), "link:a.com");
}

TEST(StandinServer, MalformedRequestsGetAnAnswerOrAClose)
{
    StandinServer server;
    EXPECT_EQ(exchangeBytes(server.port(), "garbage\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    // A head that never ends is cut off at its limit instead of filling memory.
    EXPECT_EQ(exchangeBytes(server.port(), "GET / HTTP/1.1\r\nX: " + std::string(200000, 'a')), "");
    // Text from the request never opens markup in a page.
    const std::string page = get(server.port(), "www.kaldrani.com", "/pr/?domain=%3Cscript%3E");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
}

TEST(StandinServer, StopEndsAStalledAnswerAtOnce)
{
    auto server = std::make_unique<StandinServer>();
    standin::Response stalled;
    stalled.delayMs = 60000;
    server->setAnswer("www.kaldrani.com", "/version.html", stalled);
    const int port = server->port();
    std::thread client([port] { get(port, "www.kaldrani.com", "/version.html"); });
    // The request is logged before the wait starts; wait for it instead of sleeping blind.
    while (server->requests().empty())
        std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    server.reset();
    client.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(StandinServer, ProgramPrintsItsPortAndStopsOnSigterm)
{
    RunningProcess standin({KALDRANI_STANDIN, "--port", "0"});
    const std::string line = standin.readLine();
    const int port = line.empty() ? 0 : std::stoi(line);
    ASSERT_GT(port, 0) << "first line: " << line;
    EXPECT_EQ(bodyOf(get(port, "www.kaldrani.com", "/version.html")), "1.6");
    standin.signal(SIGTERM);
    EXPECT_EQ(standin.wait(), 0);
}

} // namespace
} // namespace kaldrani::testing
