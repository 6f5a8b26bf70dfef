// kaldrani-cli against servers that answer with terminal control bytes or with pages
// that match tens of megabytes: the terminal stays clean, memory and records stay small.
#include "ByteFiles.h"
#include "ProcessRunner.h"
#include "ScriptedServer.h"
#include "TempFolder.h"

#include "core/records/History.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <map>

namespace {

namespace fs = std::filesystem;
using kaldrani::testing::ProcessResult;
using kaldrani::testing::Reply;
using kaldrani::testing::readBytes;
using kaldrani::testing::runProcess;
using kaldrani::testing::TempFolder;
using kaldrani::testing::writeBytes;
namespace records = kaldrani::records;
using kaldrani::testing::reply;
using kaldrani::testing::ScriptedServer;

// Sanitizers keep freed memory in quarantine and add shadow memory: peaks mean nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

constexpr const char* kTerminalJunk = "\x1b]0;pwned\x07\x1b[2J";
constexpr const char* kJunkShown = "\\x1B]0;pwned\\x07\\x1B[2J";

bool hasControlBytes(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F)
            return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return true;
    }
    return false;
}

std::string answer(const std::string& body, const std::string& status = "200 OK", const std::string& extra = "")
{
    return "HTTP/1.1 " + status + "\r\n" + extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string firstLine(const std::string& request)
{
    return request.substr(0, request.find("\r\n"));
}

// A scripted server in a process of its own: its pages, made before it reports its port,
// never count towards the memory of a child this process starts. It is forked before this
// process starts any thread, so the child may start its own.
class ServerProcess {
public:
    explicit ServerProcess(const std::function<ScriptedServer::Handler()>& makeHandler)
    {
        int portPipe[2], stopPipe[2];
        if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0)
            throw std::runtime_error("pipe failed");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(portPipe[0]);
            ::close(stopPipe[1]);
            {
                ScriptedServer server(makeHandler(), 0);
                const int port = server.port();
                (void)!::write(portPipe[1], &port, sizeof port);
                char c;
                (void)!::read(stopPipe[0], &c, 1);
            }
            ::_exit(0);
        }
        ::close(portPipe[1]);
        ::close(stopPipe[0]);
        m_stopFd = stopPipe[1];
        if (::read(portPipe[0], &m_port, sizeof m_port) != sizeof m_port)
            m_port = 0;
        ::close(portPipe[0]);
    }
    ~ServerProcess()
    {
        ::close(m_stopFd);
        int status;
        ::waitpid(m_pid, &status, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_stopFd = -1;
    int m_port = 0;
};

class HostileCli : public ::testing::Test {
protected:
    // Runs the binary with every connection sent to port and a data folder of its own.
    ProcessResult cli(std::vector<std::string> args, int port)
    {
        args.insert(args.begin(), {KALDRANI_CLI, "--connect-to", "::127.0.0.1:" + std::to_string(port),
                                   "--data-dir", m_temp.path().string()});
        return runProcess(args, {"KALDRANI_CONNECT_TO"});
    }

    void listSites(const std::string& listText)
    {
        fs::create_directories(m_temp.path() / "vemro" / "data");
        writeBytes(m_temp.path() / "vemro" / "website.txt", listText);
    }

    fs::path historyFile(const std::string& site) const
    {
        return m_temp.path() / "vemro" / "data" / (site + ".txt");
    }

    TempFolder m_temp;
};

} // namespace

TEST_F(HostileCli, FetchShowsControlBytesFromTheNetworkAsEscapes)
{
    ScriptedServer server({reply(answer("x", std::string("404 ") + kTerminalJunk)),
                           reply(answer(std::string("line one\r\n\ttab ") + kTerminalJunk + " c1 \x9b" + "2J\n"))});
    const ProcessResult status = cli({"fetch", "http://example.com/"}, server.port());
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_FALSE(hasControlBytes(status.err)) << status.err;
    EXPECT_EQ(status.err, std::string("HTTP 404 HTTP/1.1 404 ") + kJunkShown + "\n");

    const ProcessResult body = cli({"fetch", "--string", "http://example.com/"}, server.port());
    EXPECT_EQ(body.exitCode, 0) << body.err;
    // The page's own layout (CR LF, TAB) is kept; the C1 byte read as U+009B is not.
    EXPECT_EQ(body.out, std::string("line one\r\n\ttab ") + kJunkShown + " c1 \\u009B2J\n");
}

TEST_F(HostileCli, OverviewAndHistoryShowEscapesWhileTheRecordKeepsItsBytes)
{
    listSites("example.com\r\n");
    ScriptedServer server([](const std::string& request) -> std::optional<Reply> {
        if (firstLine(request).find("/api/alexa.asp") != std::string::npos)
            return reply(answer(std::string(kTerminalJunk) + "123"));
        return reply(answer("", "404 Not Found"));
    });
    // Every other service answers 404: those figures failed.
    const ProcessResult r = cli({"overview", "example.com"}, server.port());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(hasControlBytes(r.out)) << r.out;
    // A leading ESC is trimmed with the other leading control characters.
    EXPECT_NE(r.out.find("AlexaRank\t]0;pwned\\x07\\x1B[2J123\n"), std::string::npos) << r.out;

    EXPECT_NE(readBytes(historyFile("example.com")).find("]0;pwned\x07\x1b[2J123"), std::string::npos);
    const ProcessResult history = cli({"history", "example.com"}, server.port());
    EXPECT_EQ(history.exitCode, 0) << history.err;
    EXPECT_FALSE(hasControlBytes(history.out)) << history.out;
    EXPECT_NE(history.out.find("]0;pwned\\x07\\x1B[2J123"), std::string::npos) << history.out;
}

// Pages whose one match is 60 MiB once made one overview peak at 6.7 GB and wrote a
// 960 MiB record. Four services answer so (both fetch forms, Alexa, ChinaRank).
TEST_F(HostileCli, HugeMatchesStayBoundedInMemoryOutputAndRecord)
{
    if (!kMeasuresMemory)
        GTEST_SKIP() << "peak memory is not measured under the sanitizers";
    listSites("example.com\r\n");
    const ServerProcess server([] {
        auto pages = std::make_shared<std::map<std::string, std::string>>();
        const size_t huge = size_t{60} << 20;
        using kaldrani::text::utf8ToGbk;
        (*pages)["baidu"] = answer(utf8ToGbk("找到相关网页") + std::string(huge, '7') + utf8ToGbk("篇"));
        (*pages)["yahoo"] = answer("<strong>" + std::string(huge, '8') + "</strong>", "200 OK",
                                   "Content-Type: text/html; charset=UTF-8\r\n");
        (*pages)["alexa"] = answer(std::string(huge, '9'));
        (*pages)["chinarank"] = answer(
            utf8ToGbk("<span class=\"bold\">当前排名：</span><span class=\"rank_font_y2\">") + std::string(huge, '6') + ">");
        return [pages](const std::string& request) -> std::optional<Reply> {
            const std::string line = firstLine(request);
            const auto hostAt = request.find("Host: ") + 6;
            const std::string host = request.substr(hostAt, request.find("\r\n", hostAt) - hostAt);
            std::string key;
            if (host == "www.baidu.com" && line.find("site:") != std::string::npos)
                key = "baidu";
            else if (host == "sitemap.cn.yahoo.com" && line.find("bwm") == std::string::npos)
                key = "yahoo";
            else if (line.find("/api/alexa.asp") != std::string::npos)
                key = "alexa";
            else if (host == "www.chinarank.org.cn")
                key = "chinarank";
            if (key.empty() || pages->count(key) == 0)
                return reply(answer("", "404 Not Found"));
            Reply r = reply(std::move((*pages)[key]));
            pages->erase(key);
            return r;
        };
    });
    const ProcessResult r = cli({"overview", "example.com"}, server.port());
    EXPECT_EQ(r.exitCode, 1) << r.err << " (the services that answer 404 failed)";
    EXPECT_LT(r.peakKb, 512 * 1024);
    RecordProperty("peak_kb", static_cast<int>(r.peakKb));
    const auto shown = records::splitLines(r.out);
    ASSERT_EQ(shown.size(), 11u) << r.out.substr(0, 500);
    EXPECT_EQ(shown[0], "百度\t" + std::string(1024, '7') + "\t0");
    EXPECT_EQ(shown[2], "雅虎\t" + std::string(1024, '8') + "\t0");
    EXPECT_EQ(shown[9], "AlexaRank\t" + std::string(1024, '9'));
    EXPECT_EQ(shown[10], "ChinaRank\t" + std::string(1024, '6'));

    const std::string record = readBytes(historyFile("example.com"));
    EXPECT_LT(record.size(), 8u * 1024);
    const ProcessResult history = cli({"history", "example.com"}, server.port());
    EXPECT_EQ(history.exitCode, 0) << history.err;
    EXPECT_NE(history.out.find(std::string(1024, '7') + "/0\t"), std::string::npos);
}

// A thrown-away error body is not decoded: a 404 costs no more than its bytes.
TEST_F(HostileCli, AHugeErrorBodyIsNotDecoded)
{
    if (!kMeasuresMemory)
        GTEST_SKIP() << "peak memory is not measured under the sanitizers";
    const ServerProcess server([] {
        auto page = std::make_shared<std::string>(answer(std::string(size_t{64} << 20, '\xE9'), "404 Not Found"));
        return [page](const std::string&) -> std::optional<Reply> { return reply(*page); };
    });
    const ProcessResult r = cli({"fetch", "--string", "http://example.com/"}, server.port());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "HTTP 404 HTTP/1.1 404 Not Found\n");
    // The bytes themselves, and little beside: decoding would add 128 MiB.
    EXPECT_LT(r.peakKb, 100 * 1024);
    RecordProperty("peak_kb", static_cast<int>(r.peakKb));
}
