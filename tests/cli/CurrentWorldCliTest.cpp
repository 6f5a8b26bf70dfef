// The command line as a new user meets it: the current base against the stand-in's world
// of today; and base = "classic" giving the old output unchanged.
#include "ByteFiles.h"
#include "CurrentPages.h"
#include "KeywordPages.h"
#include "OverviewPages.h"
#include "ProcessRunner.h"
#include "StandinServer.h"
#include "StandinTls.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kaldrani;
using kaldrani::testing::lines;
using kaldrani::testing::ProcessResult;

class WorldCli : public ::testing::Test {
protected:
    // Today's world answers plain HTTP with a redirect to https, as the engines do; the
    // classic world as the other tests serve it.
    void start(standin::World world)
    {
        m_authority.writeCertificate(m_folder.path() / "ca.pem");
        m_server = std::make_unique<standin::StandinServer>(
            standin::StandinOptions{.authority = &m_authority, .redirectToHttps = world == standin::World::Current, .world = world});
    }

    // kaldrani-cli with the default base (KALDRANI_PROFILE_BASE removed) unless env says.
    ProcessResult cli(std::vector<std::string> args, std::vector<std::string> env = {"KALDRANI_PROFILE_BASE"})
    {
        args.insert(args.begin(), {KALDRANI_CLI, "--connect-to", ":443:127.0.0.1:" + std::to_string(m_server->tlsPort()),
                                   "--connect-to", "::127.0.0.1:" + std::to_string(m_server->port()), "--data-dir",
                                   (m_folder.path() / "data").string()});
        env.insert(env.end(), {"KALDRANI_CONNECT_TO", "KALDRANI_CA_FILE=" + (m_folder.path() / "ca.pem").string(),
                               "XDG_CONFIG_HOME=" + (m_folder.path() / "config").string(),
                               "XDG_DATA_HOME=" + (m_folder.path() / "share").string()});
        return kaldrani::testing::runProcess(args, env);
    }

    void userFile(const std::string& text)
    {
        const fs::path file = m_folder.path() / "config" / "kaldrani" / "engines.toml";
        fs::create_directories(file.parent_path());
        kaldrani::testing::writeBytes(file, text);
    }

    void listSites(const std::string& text)
    {
        fs::create_directories(m_folder.path() / "data" / "vemro" / "data");
        kaldrani::testing::writeBytes(m_folder.path() / "data" / "vemro" / "website.txt", text);
    }

    kaldrani::testing::TempFolder m_folder;
    standin::StandinAuthority m_authority;
    std::unique_ptr<standin::StandinServer> m_server;
};

TEST_F(WorldCli, OverviewOfTodayShowsRealFiguresRetiredServicesAndTheTrancoRank)
{
    start(standin::World::Current);
    listSites("example.com\r\n");
    const ProcessResult r = cli({"overview", "--why", "example.com"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto f = standin::overviewFigures("example.com");
    const std::vector<std::string> expected = {
        "百度\t" + std::to_string(f.indexed[0]) + "\t已停用",
        "谷歌\t已停用\t已停用",
        "雅虎\t已停用\t已停用",
        "搜狗\t" + std::to_string(f.indexed[3]) + "\t已停用",
        "搜搜\t已停用\t已停用",
        "有道\t已停用\t已停用",
        "必应\t" + std::to_string(f.indexed[6]) + "\t已停用",
        "PageRank\t已停用",
        "SogouRank\t已停用",
        "TrancoRank\t" + std::to_string(*standin::trancoRank("example.com")),
        "ChinaRank\t已停用",
    };
    EXPECT_EQ(lines(r.out), expected);
    const std::vector<std::string> why = lines(r.err);
    EXPECT_EQ(why.size(), 14u) << r.err;
    for (const std::string& line : why)
        EXPECT_NE(line.find("\tretired: 20"), std::string::npos) << line;
    EXPECT_NE(r.err.find("雅虎\t收录情况\tretired: 2013-09: Yahoo China closed\n"), std::string::npos) << r.err;

    // The history keeps the failure values, as for a service switched off; the rank its text.
    const std::string record = kaldrani::testing::readBytes(m_folder.path() / "data" / "vemro" / "data" / "example.com.txt");
    EXPECT_NE(record.find("," + std::to_string(*standin::trancoRank("example.com")) + ",0,"), std::string::npos) << record;

    // A domain Tranco does not list is an answer, not a failure.
    const ProcessResult unranked = cli({"overview", "--why", "unranked-site.cn"});
    ASSERT_EQ(unranked.exitCode, 0) << unranked.err;
    EXPECT_EQ(lines(unranked.out)[9], "TrancoRank\t未上榜");
    EXPECT_EQ(unranked.err.find("TrancoRank"), std::string::npos) << unranked.err;
}

TEST_F(WorldCli, RankOfTodayFindsTheSiteInBaiduSogouAndBing)
{
    start(standin::World::Current);
    const std::string keyword = "网站优化";
    const ProcessResult r = cli({"rank", "--last", "5", "--why", "example.com", keyword});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 7u);
    for (const SearchEngine e : {SearchEngine::Baidu, SearchEngine::Sogou, SearchEngine::Bing}) {
        const std::string place = std::to_string(standin::keywordRank(e, "example.com", keyword).value_or(0));
        EXPECT_TRUE(out[engineIndex(e)].starts_with(std::string(engineLabel(e)) + "\t搜索排名第 " + place + " 位\thttps://"))
            << out[engineIndex(e)];
    }
    EXPECT_EQ(out[engineIndex(SearchEngine::Yahoo)], "雅虎\t已停用\t");
    EXPECT_NE(r.err.find("谷歌\t\tretired: 2025-01: Google results need JavaScript\n"), std::string::npos) << r.err;
}

TEST_F(WorldCli, EnginesNamesTheBaseAndTheRetiredServices)
{
    start(standin::World::Current);
    const ProcessResult listed = cli({"engines"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const std::vector<std::string> out = lines(listed.out);
    ASSERT_EQ(out.size(), 29u);
    EXPECT_EQ(out[0], "count.baidu.indexed\ton\thttps://www.baidu.com/s?wd=site:{site}&ie=utf-8\tdefault");
    EXPECT_EQ(out[4], "count.yahoo.indexed\tretired: 2013-09: Yahoo China closed\thttps://sitemap.cn.yahoo.com/search?p={site}\tdefault");
    EXPECT_EQ(lines(cli({"engines", "--keys"}).out)[0], "base\t\"current\"\tdefault");
    EXPECT_EQ(cli({"engines", "check"}).out, "29 services, every pattern and address sound (the current profile)\n");

    userFile("base = \"classic\"\n");
    EXPECT_EQ(lines(cli({"engines", "--keys"}).out)[0],
              "base\t\"classic\"\t" + (m_folder.path() / "config" / "kaldrani" / "engines.toml").string());
}

// The maker's IP service is retired: an address is placed from the offline database, which
// this test's data folder does not have, so the lookup says how to get it and asks no one.
TEST_F(WorldCli, OwnAddressComesFromIpifyAndTheMakersIpServiceIsNotAsked)
{
    start(standin::World::Current);
    const ProcessResult own = cli({"ip", "--why"});
    EXPECT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(own.out, "您的IP是：203.0.113.25");
    const ProcessResult lookup = cli({"ip", "--why", "203.0.113.25"});
    EXPECT_NE(lookup.out.find("kaldrani-cli ip --update"), std::string::npos) << lookup.out << lookup.err;
    for (const standin::Request& request : m_server->requests())
        EXPECT_NE(request.host, "www.kaldrani.com");
}

// base = "classic" in the user's file gives, byte for byte, what the program gave before
// the current base existed (the classic base by default, as the other tests run it).
TEST_F(WorldCli, ClassicBaseReproducesTheOldOutputByteForByte)
{
    start(standin::World::Classic);
    const std::vector<std::vector<std::string>> verbs = {
        {"overview", "--why", "example.com"},
        {"rank", "--last", "3", "--why", "example.com", "网站优化"},
        {"engines"},
        {"ip", "--why"},
    };
    for (const auto& verb : verbs) {
        SCOPED_TRACE(verb[0]);
        fs::remove_all(m_folder.path() / "config");
        const ProcessResult old = cli(verb, {"KALDRANI_PROFILE_BASE=classic"});
        userFile("base = \"classic\"\n");
        const ProcessResult chosen = cli(verb);
        EXPECT_EQ(chosen.exitCode, old.exitCode);
        EXPECT_EQ(chosen.out, old.out);
        EXPECT_EQ(chosen.err, old.err);
    }
    // And the old figures they are.
    const ProcessResult r = cli({"overview", "example.com"});
    const auto f = standin::overviewFigures("example.com");
    EXPECT_EQ(lines(r.out)[0], "百度\t" + std::to_string(f.indexed[0]) + "\t" + std::to_string(f.backlinks[0]));
    EXPECT_EQ(lines(r.out)[9], "AlexaRank\t" + std::to_string(f.alexaRank));
}

} // namespace
