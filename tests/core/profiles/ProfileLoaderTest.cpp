#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/profiles/ServiceNames.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

namespace {

using namespace kaldrani;
using namespace kaldrani::profiles;

const Service& serviceOf(const Profile& p, std::string_view name)
{
    const Service* s = p.find(name);
    if (s == nullptr)
        throw std::out_of_range(std::string(name));
    return *s;
}

TEST(DefaultProfile, NamesEveryServiceOnceInTheirOrder)
{
    const Profile& p = defaultProfile();
    std::vector<std::string> expected;
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds)
            expected.push_back(countService(e, k));
    for (const std::string_view rank : {kPageRank, kSogouRating, kAlexaRank, kChinaRank})
        expected.emplace_back(rank);
    for (const SearchEngine e : kSearchEngines)
        expected.push_back(keywordService(e));
    for (const std::string_view other : {kWhois, kOwnAddress, kIpLookup, kVersionPage})
        expected.emplace_back(other);
    std::vector<std::string> names;
    for (const Service& s : p.services)
        names.push_back(s.name);
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(p.problems.empty());
    for (const Service& s : p.services) {
        SCOPED_TRACE(s.name);
        EXPECT_TRUE(s.enabled);
        EXPECT_EQ(s.scheme, "http");
        // No refusal markers for the real services: their refusal pages cannot be seen from here.
        EXPECT_TRUE(s.blocked.empty());
        for (const auto& [key, origin] : s.origins)
            EXPECT_FALSE(origin.fromUser()) << key;
    }
}

TEST(DefaultProfile, BuildsTheAddressesTheServicesAreAskedAt)
{
    const Profile& p = defaultProfile();
    struct Case {
        const char* name;
        std::string url;
        const char* expected;
    };
    const Case cases[] = {
        {"Yahoo backlinks: the suffix after the site",
         serviceOf(p, "count.yahoo.backlinks").url({{"site", "a.com"}}), "http://sitemap.cn.yahoo.com/search?p=a.com&bwm=i"},
        {"Bing keyword page 3", serviceOf(p, "keyword.bing").url({{"keyword", "k"}, {"page", std::to_string(serviceOf(p, "keyword.bing").pageValue(3))}}),
         "http://cn.bing.com/search?q=k&filt=all&first=21"},
        {"Sogou keyword page 3: the page number itself", std::to_string(serviceOf(p, "keyword.sogou").pageValue(3)), "3"},
        {"the own address: no query, no \"?\"", serviceOf(p, kOwnAddress).url({}), "http://www.kaldrani.com/ip/data/"},
        {"an input holding a placeholder is not filled again",
         serviceOf(p, "keyword.baidu").url({{"keyword", "{page}"}, {"page", "0"}}), "http://www.baidu.com/s?wd={page}&pn=0"},
        {"the version page", serviceOf(p, kVersionPage).url({}), "http://www.kaldrani.com/version.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.url, c.expected);
    }
}

TEST(ProfileLoader, UserFileOverridesKeyByKeyAndSaysWhere)
{
    const Profile p = loadProfile(defaultProfileText(),
                                  "# mine\n"
                                  "[count.google.indexed]\n"
                                  "scheme = \"https\"\n"
                                  "pattern = '约 ((.|\\n)*?) 条'\n"
                                  "\n"
                                  "[keyword.bing]\n"
                                  "enabled = false\n",
                                  "/home/u/.config/kaldrani/engines.toml");
    EXPECT_TRUE(p.problems.empty()) << p.problems.front().text();
    const Service& google = serviceOf(p, "count.google.indexed");
    EXPECT_EQ(google.scheme, "https");
    EXPECT_EQ(google.pattern, "约 ((.|\\n)*?) 条");
    EXPECT_EQ(google.origins.at("pattern").line, 4);
    EXPECT_EQ(google.origins.at("pattern").file, "/home/u/.config/kaldrani/engines.toml");
    // The keys not given keep their defaults.
    EXPECT_EQ(google.host, "www.google.cn");
    EXPECT_FALSE(google.origins.at("host").fromUser());
    EXPECT_EQ(google.removals, serviceOf(defaultProfile(), "count.google.indexed").removals);
    EXPECT_FALSE(serviceOf(p, "keyword.bing").enabled);
    EXPECT_EQ(serviceOf(p, "keyword.bing").origins.at("enabled").line, 7);
    // Another service of the same engine is untouched.
    EXPECT_EQ(serviceOf(p, "count.google.backlinks").scheme, "http");
    EXPECT_TRUE(serviceOf(p, "count.google.backlinks").enabled);
}

TEST(ProfileLoader, NamesEachFaultWithLineAndKeyAndKeepsThatKeysDefault)
{
    struct Case {
        const char* name;
        const char* text;
        int line;
        const char* key;
        const char* says; // part of the message
    };
    const Case cases[] = {
        {"wrong type", "[count.baidu.indexed]\ndeadline_ms = \"30 s\"\n", 2, "count.baidu.indexed.deadline_ms",
         "must be a whole number, not a text"},
        {"unknown key", "[count.baidu.indexed]\npatern = 'x'\n", 2, "count.baidu.indexed.patern", "unknown key"},
        {"key of another kind of service", "[count.baidu.indexed]\npage_step = 10\n", 2, "count.baidu.indexed.page_step",
         "unknown key"},
        {"unknown service", "\n[count.altavista.indexed]\nhost = \"a\"\n", 2, "count.altavista", "no such service"},
        {"pattern that does not compile", "[count.baidu.indexed]\n\npattern = '找到((.|\\n)*?篇'\n", 3,
         "count.baidu.indexed.pattern", "does not compile"},
        {"blocked marker that does not compile", "[keyword.baidu]\nblocked = ['(']\n", 2, "keyword.baidu.blocked",
         "does not compile"},
        {"query losing its input", "[keyword.baidu]\nquery = \"wd={keyword}\"\n", 2, "keyword.baidu.query",
         "must hold {keyword}, {page}"},
        {"bad form", "[rank.sogou]\nform = \"gbk\"\n", 2, "rank.sogou.form", "\"stream\" or \"string\""},
        {"bad scheme", "[rank.alexa]\nscheme = \"ftp\"\n", 2, "rank.alexa.scheme", "\"http\" or \"https\""},
        {"host with a path", "[lookup.whois]\nhost = \"a.com/x\"\n", 2, "lookup.whois.host", "without a path"},
        {"host with port 0", "[lookup.whois]\nhost = \"evil.test:0\"\n", 2, "lookup.whois.host", "1 to 65535"},
        {"host with a port past 65535", "[lookup.whois]\nhost = \"[::1]:99999\"\n", 2, "lookup.whois.host",
         "1 to 65535"},
        {"host of a colon alone", "[lookup.whois]\nhost = \":\"\n", 2, "lookup.whois.host", "host name"},
        {"user agent holding NUL", "[lookup.ip]\nuser_agent = \"a\\u0000b\"\n", 2, "lookup.ip.user_agent",
         "control characters"},
        {"removal of a wrong shape", "[rank.chinarank]\nremovals = [[\"a\"]]\n", 2, "rank.chinarank.removals",
         "[\"from\", \"to\"]"},
        {"negative time-out", "[lookup.ip]\nread_timeout_ms = -5\n", 2, "lookup.ip.read_timeout_ms", "0 to 3600000"},
        {"settings where a table belongs", "[count.baidu]\nindexed = 3\n", 2, "count.baidu.indexed", "must be a table"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Profile p = loadProfile(defaultProfileText(), c.text, "mine.toml");
        ASSERT_EQ(p.problems.size(), 1u);
        const Problem& problem = p.problems.front();
        EXPECT_EQ(problem.file, "mine.toml");
        EXPECT_EQ(problem.line, c.line);
        EXPECT_EQ(problem.key, c.key);
        EXPECT_NE(problem.message.find(c.says), std::string::npos) << problem.message;
        // Every service is still the default's.
        for (const Service& s : p.services) {
            const Service& d = serviceOf(defaultProfile(), s.name);
            EXPECT_EQ(s.url({{"site", "a.com"}}), d.url({{"site", "a.com"}})) << s.name;
            EXPECT_EQ(s.pattern, d.pattern) << s.name;
            EXPECT_EQ(s.readTimeoutMs, d.readTimeoutMs) << s.name;
        }
    }
}

TEST(ProfileLoader, AFaultyKeyLeavesTheRestOfTheFileApplied)
{
    const Profile p = loadProfile(defaultProfileText(),
                                  "[count.baidu.indexed]\n"
                                  "host = \"mirror.example\"\n"
                                  "pattern = '(('\n"
                                  "deadline_ms = 5000\n",
                                  "mine.toml");
    ASSERT_EQ(p.problems.size(), 1u);
    EXPECT_EQ(p.problems.front().text().substr(0, 48), "mine.toml:3: count.baidu.indexed.pattern: the pa");
    const Service& baidu = serviceOf(p, "count.baidu.indexed");
    EXPECT_EQ(baidu.host, "mirror.example");
    EXPECT_EQ(baidu.deadlineMs, 5000);
    EXPECT_EQ(baidu.pattern, serviceOf(defaultProfile(), "count.baidu.indexed").pattern);
}

TEST(ProfileLoader, ProxiesAtTheTopAndPerService)
{
    const Profile p = loadProfile(defaultProfileText(),
                                  "proxy = \"http://user:pw@proxy.corp:3128\"\n"
                                  "[count.baidu.indexed]\n"
                                  "proxy = \"\"\n"
                                  "[count.google.indexed]\n"
                                  "proxy = \"socks5h://127.0.0.1:1080\"\n"
                                  "[count.bing.indexed]\n"
                                  "proxy = \"ftp://user:secret@x\"\n"
                                  "[count.bing.backlinks]\n"
                                  "proxy = 3128\n",
                                  "mine.toml");
    EXPECT_EQ(p.proxy, "http://user:pw@proxy.corp:3128");
    EXPECT_EQ(serviceOf(p, "count.baidu.indexed").proxy, "");
    EXPECT_EQ(serviceOf(p, "count.google.indexed").proxy, "socks5h://127.0.0.1:1080");
    EXPECT_FALSE(serviceOf(p, "count.bing.indexed").proxy);
    EXPECT_FALSE(serviceOf(p, "count.sogou.indexed").proxy);
    ASSERT_EQ(p.problems.size(), 2u);
    EXPECT_EQ(p.problems[0].text(), "mine.toml:9: count.bing.backlinks.proxy: must be a text, not a whole number");
    EXPECT_EQ(p.problems[1].text(), "mine.toml:7: count.bing.indexed.proxy: proxy scheme \"ftp\" is not http, socks5 or socks5h");
    // Not a key of its own: the listing of a service's keys is unchanged.
    EXPECT_EQ(serviceOf(p, "count.google.indexed").keys, serviceOf(defaultProfile(), "count.google.indexed").keys);
}

TEST(ProfileLoader, AFileThatDoesNotParseIsNamedAndNotApplied)
{
    const Profile p = loadProfile(defaultProfileText(), "[count.baidu.indexed]\nhost = \"a\"\nenabled = nope\n", "mine.toml");
    ASSERT_EQ(p.problems.size(), 1u);
    EXPECT_EQ(p.problems.front().line, 3);
    EXPECT_NE(p.problems.front().message.find("does not parse"), std::string::npos);
    EXPECT_EQ(serviceOf(p, "count.baidu.indexed").host, "www.baidu.com");
}

TEST(ProfileLoader, AFileNestedTooDeepIsNamedAndNotParsed)
{
    std::string deepHeader = "[count";
    for (int i = 0; i < 50000; ++i)
        deepHeader += ".count";
    deepHeader += "]\n";
    std::string deepList = "[count.baidu.indexed]\nremovals = ";
    deepList += std::string(50000, '[') + std::string(50000, ']') + "\n";
    std::string dottedKey = "a";
    for (int i = 0; i < 65; ++i)
        dottedKey += ".a";
    struct Case {
        const char* name;
        std::string text;
        const char* says; // part of the one problem
    };
    const Case cases[] = {
        {"a header of 50000 levels", deepHeader, "not read: it is nested deeper than 64 levels (line 1)"},
        {"a list of 50000 levels", deepList, "not read: it is nested deeper than 64 levels (line 2)"},
        {"a dotted key of 66 levels", "[count.baidu.indexed]\n" + dottedKey + " = 1\n", "nested deeper"},
        // Dots inside texts, comments and numbers are no nesting.
        {"dots in values", "# a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t.u.v.w.x.y.z.a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t.u.v.w.x.y.z.a.b.c\n"
                           "[count.baidu.indexed]\nhost = \"" + std::string(200, '.') + "\"\ndeadline_ms = 1.5\n",
         "deadline_ms: must be a whole number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Profile p = loadProfile(defaultProfileText(), c.text, "mine.toml");
        ASSERT_EQ(p.problems.size(), 1u);
        EXPECT_EQ(p.problems.front().file, "mine.toml");
        EXPECT_NE(p.problems.front().text().find(c.says), std::string::npos) << p.problems.front().text();
        EXPECT_EQ(p.services.size(), defaultProfile().services.size());
    }
}

TEST(ProfileLoader, AFaultyDefaultIsAnErrorOfTheProgram)
{
    EXPECT_THROW(loadProfile("[count.baidu.indexed]\nhost = 'a'\nbogus = 1\n"), std::logic_error);
    EXPECT_THROW(loadProfile("[x\n"), std::logic_error);
}

TEST(ProfileLoader, ReadsTheUsersFileFromTheConfigFolder)
{
    const kaldrani::testing::TempFolder folder;
    const std::filesystem::path file = folder.path() / "kaldrani" / "engines.toml";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "[rank.alexa]\nenabled = false\n";

    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    EXPECT_EQ(userProfilePath(), file);
    const Profile p = loadProfileFile(userProfilePath());
    EXPECT_FALSE(serviceOf(p, kAlexaRank).enabled);
    EXPECT_EQ(p.userFile, file.string());
    // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_NE(userProfilePath().string().find("/.config/kaldrani/engines.toml"), std::string::npos);
    if (saved != nullptr)
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");

    // No file: the default alone, without a problem.
    const Profile none = loadProfileFile(folder.path() / "missing.toml");
    EXPECT_TRUE(none.problems.empty());
    EXPECT_TRUE(none.userFile.empty());

    // Something else in its place is named, never waited on nor taken for an empty file.
    const std::filesystem::path fifo = folder.path() / "fifo.toml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(folder.path() / "big.toml") << std::string(2 << 20, '#');
    struct Case {
        const char* name;
        std::filesystem::path path;
        const char* says;
    };
    const std::filesystem::path loop = folder.path() / "loop.toml";
    std::filesystem::create_symlink(loop, loop);
    const Case cases[] = {
        {"a symbolic link to itself", loop, "loop of symbolic links"},
        {"a folder", folder.path() / "kaldrani", "not a regular file"},
        {"a FIFO", fifo, "not a regular file"},
        {"a file over 1 MiB", folder.path() / "big.toml", "larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Profile p = loadProfileFile(c.path);
        ASSERT_EQ(p.problems.size(), 1u);
        EXPECT_EQ(p.problems.front().file, c.path.string());
        EXPECT_NE(p.problems.front().message.find(c.says), std::string::npos) << p.problems.front().message;
        EXPECT_EQ(p.services.size(), defaultProfile().services.size());
    }
}

} // namespace

namespace {

TEST(ProfileBases, TheCurrentBaseHasTheClassicServicesAndIsTheDefault)
{
    const Profile classic = loadProfile(classicProfileText());
    const Profile now = loadProfile(currentProfileText());
    EXPECT_EQ(classic.base, "classic");
    EXPECT_EQ(now.base, "current");
    EXPECT_TRUE(now.problems.empty());
    ASSERT_EQ(now.services.size(), classic.services.size());
    for (std::size_t i = 0; i < now.services.size(); ++i) {
        SCOPED_TRACE(now.services[i].name);
        EXPECT_EQ(now.services[i].name, classic.services[i].name);
        // A gone service says when and why; a live one is asked over https.
        const Service& s = now.services[i];
        if (s.retired.empty() && s.name != kWhois) {
            EXPECT_EQ(s.scheme, "https");
        }
        if (!s.retired.empty()) {
            EXPECT_TRUE(s.retired.starts_with("20")) << s.retired;
        }
    }
    for (const char* live : {"count.baidu.indexed", "count.sogou.indexed", "count.bing.indexed", "keyword.baidu",
                             "keyword.sogou", "keyword.bing", "rank.alexa", "lookup.own-address"})
        EXPECT_TRUE(serviceOf(now, live).retired.empty()) << live;
    EXPECT_EQ(serviceOf(now, kAlexaRank).url({{"site", "example.com"}}), "https://tranco-list.eu/api/ranks/domain/example.com");
    EXPECT_EQ(serviceOf(now, kAlexaRank).label, "Tranco");
    EXPECT_EQ(serviceOf(now, "keyword.baidu").url({{"keyword", "%E6%89%8B"}, {"page", "0"}}),
              "https://www.baidu.com/s?wd=%E6%89%8B&pn=0&ie=utf-8");

    // The default base is current unless the environment names the other; the tests run
    // with classic.
    const char* saved = std::getenv("KALDRANI_PROFILE_BASE");
    const std::string before = saved != nullptr ? saved : "";
    unsetenv("KALDRANI_PROFILE_BASE");
    EXPECT_EQ(defaultBaseName(), "current");
    setenv("KALDRANI_PROFILE_BASE", "nonsense", 1);
    EXPECT_EQ(defaultBaseName(), "current");
    setenv("KALDRANI_PROFILE_BASE", "classic", 1);
    EXPECT_EQ(defaultBaseName(), "classic");
    if (saved != nullptr)
        setenv("KALDRANI_PROFILE_BASE", before.c_str(), 1);
    else
        unsetenv("KALDRANI_PROFILE_BASE");
}

TEST(ProfileBases, TheUsersFileChoosesItsBase)
{
    struct Case {
        const char* name;
        const char* text;
        const char* base;
        const char* bingHost; // count.bing.indexed's scheme://host
        std::size_t problems;
    };
    const Case cases[] = {
        {"classic", "base = \"classic\"\n", "classic", "http://cn.bing.com", 0},
        {"current", "base = \"current\"\n[count.bing.indexed]\nhost = \"b.example\"\n", "current", "https://b.example", 0},
        {"bad name keeps the default", "base = \"2008\"\n", "classic", "http://cn.bing.com", 1},
        {"not a text", "base = 1\n", "classic", "http://cn.bing.com", 1},
        {"a file that does not parse", "base = \"current\"\n[x\n", "classic", "http://cn.bing.com", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Profile p = loadUserProfile(c.text, "engines.toml");
        EXPECT_EQ(p.base, c.base);
        EXPECT_EQ(serviceOf(p, "count.bing.indexed").url({}).substr(0, std::string(c.bingHost).size()), c.bingHost);
        EXPECT_EQ(p.problems.size(), c.problems);
    }
}

TEST(ProfileBases, NewKeysAreCheckedAndTheCommonOnesFitEveryService)
{
    // retired, label and headers fit any service, the classic ones too.
    const Profile ok = loadProfile(classicProfileText(),
                                   "[rank.chinarank]\nretired = \"2026-12: gone\"\nlabel = \"CR\"\n"
                                   "[count.baidu.indexed]\nheaders = { \"Accept-Language\" = \"zh-CN\", Accept = \"*/*\" }\n",
                                   "f");
    EXPECT_TRUE(ok.problems.empty()) << ok.problems.front().text();
    EXPECT_EQ(serviceOf(ok, kChinaRank).retired, "2026-12: gone");
    EXPECT_EQ(serviceOf(ok, kChinaRank).label, "CR");
    // In the file's order, not toml++'s sorted one.
    const std::vector<std::pair<std::string, std::string>> headers = {{"Accept-Language", "zh-CN"}, {"Accept", "*/*"}};
    EXPECT_EQ(serviceOf(ok, "count.baidu.indexed").headers, headers);

    struct Case {
        const char* name;
        const char* text;
        const char* key;
    };
    const Case cases[] = {
        {"retired on two lines", "[version]\nretired = \"a\\nb\"\n", "version.retired"},
        {"a header the client writes", "[count.baidu.indexed]\nheaders = { Host = \"x\" }\n", "count.baidu.indexed.headers"},
        {"a header name with a blank", "[count.baidu.indexed]\nheaders = { \"A B\" = \"x\" }\n", "count.baidu.indexed.headers"},
        {"a header value on two lines", "[count.baidu.indexed]\nheaders = { A = \"x\\r\\nB: y\" }\n", "count.baidu.indexed.headers"},
        {"a header that is no text", "[count.baidu.indexed]\nheaders = { A = 1 }\n", "count.baidu.indexed.headers"},
        {"form of another name", "[count.baidu.indexed]\nform = \"utf-16\"\n", "count.baidu.indexed.form"},
        {"a path with another input", "[rank.alexa]\npath = \"/api/{keyword}\"\n", "rank.alexa.path"},
        {"unwrap that does not compile", "[keyword.bing]\nunwrap = '(('\n", "keyword.bing.unwrap"},
        {"unwrap decoded some other way", "[keyword.bing]\nunwrap_decode = \"rot13\"\n", "keyword.bing.unwrap_decode"},
        {"a reader nobody knows", "[rank.alexa]\nreader = \"xml\"\n", "rank.alexa.reader"},
        {"group out of range", "[count.bing.indexed]\ngroup = 10\n", "count.bing.indexed.group"},
        {"unwrap where the base has none", "[count.bing.indexed]\nunwrap = 'x'\n", "count.bing.indexed.unwrap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Profile p = loadProfile(currentProfileText(), c.text, "f");
        ASSERT_EQ(p.problems.size(), 1u);
        EXPECT_EQ(p.problems[0].key, c.key) << p.problems[0].text();
    }
    // The path of the classic traffic-rank service takes no input, the current one its {site}.
    EXPECT_EQ(loadProfile(classicProfileText(), "[rank.alexa]\npath = \"/{site}\"\n", "f").problems.size(), 1u);
    EXPECT_TRUE(loadProfile(currentProfileText(), "[rank.alexa]\npath = \"/r/{site}\"\n", "f").problems.empty());
}

} // namespace
