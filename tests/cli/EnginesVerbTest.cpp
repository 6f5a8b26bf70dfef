#include "ByteFiles.h"
#include "OverviewPages.h"
#include "ProcessRunner.h"
#include "RefusalPages.h"
#include "StandinServer.h"
#include "TempFolder.h"
#include "TlsPeers.h"
#include "core/fetch/Endpoints.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kaldrani;
using kaldrani::testing::lines;
using kaldrani::testing::ProcessResult;

// kaldrani-cli with a config folder and a data folder of its own, against the stand-in.
class EnginesCli : public ::testing::Test {
protected:
    ProcessResult cli(std::vector<std::string> args, std::vector<std::string> connectTo = {})
    {
        connectTo.push_back("::127.0.0.1:" + std::to_string(server.port()));
        for (auto it = connectTo.rbegin(); it != connectTo.rend(); ++it)
            args.insert(args.begin(), {"--connect-to", *it});
        args.insert(args.begin(), {KALDRANI_CLI, "--data-dir", (m_folder.path() / "data").string()});
        return kaldrani::testing::runProcess(args, {"KALDRANI_CONNECT_TO", "KALDRANI_CA_FILE",
                                                    "XDG_CONFIG_HOME=" + (m_folder.path() / "config").string()});
    }

    // Writes the user's engine profile.
    fs::path userFile(const std::string& text)
    {
        const fs::path file = m_folder.path() / "config" / "kaldrani" / "engines.toml";
        fs::create_directories(file.parent_path());
        kaldrani::testing::writeBytes(file, text);
        return file;
    }

    fs::path page(const std::string& name, const std::string& bytes)
    {
        const fs::path file = m_folder.path() / name;
        kaldrani::testing::writeBytes(file, bytes);
        return file;
    }

    standin::StandinServer server;
    kaldrani::testing::TempFolder m_folder;
};

TEST_F(EnginesCli, ListsEveryServiceWithWhereItsValuesComeFrom)
{
    const fs::path file = userFile("[count.google.indexed]\n\nhost = \"mirror.example\"\n[keyword.bing]\nenabled = false\n");
    const ProcessResult r = cli({"engines"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 29u);
    EXPECT_EQ(out[0], "count.baidu.indexed\ton\thttp://www.baidu.com/s?wd=site:{site}\tdefault");
    EXPECT_EQ(out[2], "count.google.indexed\ton\thttp://mirror.example/search?hl=zh-CN&q=site:{site}\thost ("
                          + file.string() + ":3)");
    EXPECT_EQ(out[24], "keyword.bing\toff\thttp://cn.bing.com/search?q={keyword}&filt=all&first={page}\tenabled ("
                           + file.string() + ":5)");

    const ProcessResult keys = cli({"engines", "--keys"});
    ASSERT_EQ(keys.exitCode, 0);
    bool seen = false;
    for (const std::string& line : lines(keys.out))
        seen = seen || line == "count.google.indexed.host\t\"mirror.example\"\t" + file.string() + ":3";
    EXPECT_TRUE(seen) << keys.out;
}

TEST_F(EnginesCli, FaultsOfTheUsersFileAreNamedOnceAndCheckFails)
{
    EXPECT_EQ(cli({"engines", "check"}).exitCode, 0);

    const fs::path file = userFile("[count.baidu.indexed]\npattern = '(('\nhost = \"mirror.example\"\n");
    const std::string fault = "kaldrani-cli: " + file.string() + ":2: count.baidu.indexed.pattern: the pattern does not compile";
    // Named once at start, whatever the verb; the rest of the file applies.
    const ProcessResult listed = cli({"engines"});
    EXPECT_EQ(listed.exitCode, 0);
    ASSERT_EQ(lines(listed.err).size(), 1u) << listed.err;
    EXPECT_TRUE(listed.err.starts_with(fault)) << listed.err;
    EXPECT_TRUE(lines(listed.out)[0].starts_with("count.baidu.indexed\ton\thttp://mirror.example/s?"));

    const ProcessResult checked = cli({"engines", "check"});
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_TRUE(checked.err.starts_with(fault)) << checked.err;

    userFile("[count.baidu.indexed\n");
    const ProcessResult broken = cli({"engines", "check"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("engines.toml:1: not read, it does not parse"), std::string::npos) << broken.err;
}

TEST_F(EnginesCli, TryReadsASavedPageAsTheServiceWould)
{
    userFile("[count.baidu.backlinks]\nblocked = ['请输入验证码']\n");
    const fs::path count = page("baidu.html", text::utf8ToGbk("<p>找到相关网页约1,230,000篇</p>"));
    const fs::path kept = page("kept.page", "http://www.sogou.com/web?query=link:a.com\nHTTP/1.1 200 OK\n\n"
                                                + text::utf8ToGbk("找到 约1,000 <!-- 搜狗评级:85/100"));
    const fs::path verification = page("verify.html", standin::verificationPage().body);
    const fs::path results = page("results.html", text::utf8ToGbk("<h3><a href=\"http://a.com/\">A</a></h3>"
                                                                  "<h3><a href=\"http://example.com/\">E</a></h3>"));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"a count", {"count.baidu.indexed", count.string()}, 0, "1230000\n", ""},
        {"another engine's pattern finds nothing", {"count.google.indexed", count.string()}, 1, "0\n",
         "no count on the page\n"},
        {"a kept page: the head is skipped", {"rank.sogou", kept.string()}, 0, "85\n", ""},
        {"the same page as a count", {"count.sogou.backlinks", kept.string()}, 0, "约1000\n", ""},
        {"a verification page with a marker", {"count.baidu.backlinks", verification.string()}, 1, "0\n",
         "blocked: verification page\n"},
        {"a keyword page", {"keyword.soso", results.string(), "--site", "EXAMPLE.com"}, 0, "搜索排名第 2 位\n", ""},
        {"a keyword page without the site", {"keyword.soso", results.string(), "--site", "other.com"}, 0,
         "搜索排名第 0 位\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"engines", "try"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult r = cli(args);
        EXPECT_EQ(r.exitCode, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(cli({"engines", "try", "count.altavista", count.string()}).exitCode, 2);
    EXPECT_EQ(cli({"engines", "try", "keyword.soso", results.string()}).exitCode, 2);
    EXPECT_EQ(cli({"engines", "try", "count.baidu.indexed", (m_folder.path() / "missing").string()}).exitCode, 1);
}

TEST_F(EnginesCli, PagesKeptByAnOverviewReadBackToTheSameFigures)
{
    const fs::path dir = m_folder.path() / "pages";
    const ProcessResult run = cli({"overview", "--save-pages", dir.string(), "example.com"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 18u);
    EXPECT_EQ(names.front(), "001-count.baidu.indexed.page");
    EXPECT_EQ(names.back(), "018-rank.chinarank.page");
    const std::string kept = kaldrani::testing::readBytes(dir / names.front());
    EXPECT_TRUE(kept.starts_with("http://www.baidu.com/s?wd=site:example.com\nHTTP/1.1 200 OK\n\n")) << kept.substr(0, 80);

    const auto figures = standin::overviewFigures("example.com");
    const ProcessResult tried = cli({"engines", "try", "count.baidu.indexed", (dir / names.front()).string()});
    EXPECT_EQ(tried.out, std::to_string(figures.indexed[0]) + "\n");
    const ProcessResult rank = cli({"engines", "try", "rank.pagerank", (dir / "015-rank.pagerank.page").string()});
    EXPECT_EQ(rank.out, std::to_string(figures.pageRank) + "\n");

    // A folder that cannot be made is a failure of the verb, named.
    kaldrani::testing::writeBytes(m_folder.path() / "file", "x");
    const ProcessResult bad = cli({"overview", "--save-pages", (m_folder.path() / "file" / "sub").string(), "example.com"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Cannot create"), std::string::npos) << bad.err;
}

TEST_F(EnginesCli, RefusalsAndSwitchedOffServicesAreNamedInTheOutput)
{
    userFile("[count.baidu.indexed]\nblocked = ['请输入验证码']\n[count.sogou.backlinks]\nenabled = false\n"
             "[keyword.baidu]\nblocked = ['请输入验证码']\n");
    server.setAnswer(endpoints::kBaidu, "/s", standin::verificationPage());
    server.setAnswer(endpoints::kGoogle, "/search", standin::tooManyRequests());
    const ProcessResult overview = cli({"overview", "--why", "example.com"});
    // A refusal fails the run; a service switched off does not.
    ASSERT_EQ(overview.exitCode, 1) << overview.err;
    const std::vector<std::string> out = lines(overview.out);
    EXPECT_EQ(out[0], "百度\t0\t0");
    EXPECT_TRUE(out[3].ends_with("\t已关闭")) << out[3];
    const std::vector<std::string> why = lines(overview.err);
    ASSERT_GE(why.size(), 5u) << overview.err;
    EXPECT_EQ(why[0], "百度\t收录情况\tblocked: verification page");
    EXPECT_EQ(why[1], "百度\t反向链接\tno count on the page");
    EXPECT_EQ(why[2], "谷歌\t收录情况\tblocked: 429 Too Many Requests (Retry-After: 120)");
    EXPECT_EQ(why[4], "搜狗\t反向链接\tswitched off in the engine profile");

    const ProcessResult rank = cli({"rank", "--why", "--engines", "baidu,google", "example.com", "kw"});
    ASSERT_EQ(rank.exitCode, 1) << rank.err;
    EXPECT_EQ(lines(rank.out)[0], "百度\t被拦截：verification page\thttp://www.baidu.com/s?wd=kw&pn=0");
    EXPECT_EQ(lines(rank.out)[1],
              "谷歌\t被拦截：429 Too Many Requests (Retry-After: 120)\thttp://www.google.cn/search?hl=zh-CN&q=kw&start=0");
    EXPECT_EQ(lines(rank.err)[0], "百度\t\tblocked: verification page");

    userFile("[count.sogou.backlinks]\nenabled = false\n[keyword.bing]\nenabled = false\n");
    EXPECT_EQ(cli({"rank", "--engines", "baidu,bing", "example.com", "kw"}).exitCode, 0);
}

TEST_F(EnginesCli, AUserFileMovesOneEngineToHttpsWithANewPattern)
{
    const kaldrani::testing::TestCertificates certs;
    // nginx serves the file of the target's path, whatever the query.
    kaldrani::testing::writeBytes(certs.folder() / "search", text::utf8ToGbk("<p>约 4,321 条结果</p>"));
    const kaldrani::testing::NginxServer tls(certs);
    userFile("[count.google.indexed]\nscheme = \"https\"\nhost = \"a.example\"\n"
             "pattern = '约 ((.|\\n)*?) 条'\nremovals = [\"约 \", \" 条\", \",\"]\n");
    const ProcessResult r = cli({"--cacert", certs.file("ca.pem"), "overview", "--why", "example.com"},
                                {"a.example::127.0.0.1:" + std::to_string(tls.tlsPort())});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto figures = standin::overviewFigures("example.com");
    EXPECT_EQ(lines(r.out)[1], "谷歌\t4321\t" + std::to_string(figures.backlinks[1])) << r.err;
    EXPECT_EQ(r.err, "");
}

} // namespace
