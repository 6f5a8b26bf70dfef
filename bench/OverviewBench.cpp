#include "StandinServer.h"
#include "StandinTls.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
#include "core/net/ConnectionPool.h"
#include "core/net/HttpAddress.h"
#include "core/net/Tls.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"
#include "core/queries/EngineCount.h"
#include "core/queries/SiteOverviewRun.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kaldrani;

const std::string kDomain = "example.com";

standin::StandinAuthority& authority()
{
    static standin::StandinAuthority a;
    return a;
}

// Serves HTTPS too, for the same overview with every service moved to https; keeps
// connections open between requests, as the real services do.
standin::StandinServer& server()
{
    static standin::StandinServer s({.authority = &authority(), .keepAlive = true});
    return s;
}

// The default profile, and the default with every service's scheme set to https through
// a user file, as a user moves the services to https.
const profiles::Profile& plainProfile()
{
    static const profiles::Profile p = profiles::defaultProfile();
    return p;
}
const profiles::Profile& httpsProfile()
{
    static const profiles::Profile p = [] {
        std::string userText;
        for (const profiles::Service& service : plainProfile().services)
            userText += "[\"" + service.name + "\"]\nscheme = \"https\"\n";
        return profiles::loadProfile(profiles::defaultProfileText(), userText, "bench-https.toml");
    }();
    return p;
}

// The eighteen addresses of one run, in its order.
std::vector<std::string> runUrls()
{
    std::vector<std::string> urls;
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : {CountKind::Indexed, CountKind::Backlinks})
            urls.push_back(queries::engineCountUrl(e, k, kDomain));
    urls.push_back("http://" + std::string(endpoints::kMaker) + "/pr/?domain=" + kDomain);
    urls.push_back("http://" + std::string(endpoints::kSogou) + "/web?query=link:" + kDomain);
    urls.push_back("http://" + std::string(endpoints::kMaker) + "/api/alexa.asp?d=" + kDomain);
    urls.push_back("http://" + std::string(endpoints::kChinaRank) + "/overview/Info.do?url=" + kDomain);
    return urls;
}

void overviewRun()
{
    static const records::DataFolder folder(std::filesystem::temp_directory_path() / "kaldrani-bench-overview");
    queries::OverviewDisplay display;
    queries::QuietOverviewView view;
    // No listed site: the run writes no record, so only fetching and extraction are timed.
    queries::runSiteOverview(display, view, folder, kDomain, {});
    benchmark::DoNotOptimize(display.chinaRank);
}

// The overview as it ran before connections were kept within a run: a pool that keeps none.
void overviewRunWithoutReuse()
{
    net::ConnectionPool none({.maxIdle = 0});
    const net::PoolScope scope(none);
    overviewRun();
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// A fresh handle per page, as each query makes a fresh client.
void curlFetches(const std::vector<std::string>& urls)
{
    const std::string connectTo = "::127.0.0.1:" + std::to_string(server().port());
    for (const auto& url : urls) {
        CURL* curl = curl_easy_init();
        curl_slist* route = curl_slist_append(nullptr, connectTo.c_str());
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        curl_slist_free_all(route);
        benchmark::DoNotOptimize(body);
    }
}

void BM_OverviewRun(benchmark::State& state)
{
    for (auto _ : state)
        overviewRun();
}
BENCHMARK(BM_OverviewRun)->Unit(benchmark::kMillisecond);

void BM_OverviewRunHttps(benchmark::State& state)
{
    profiles::setActiveProfile(httpsProfile());
    for (auto _ : state)
        overviewRun();
    profiles::setActiveProfile(plainProfile());
}
BENCHMARK(BM_OverviewRunHttps)->Unit(benchmark::kMillisecond);

void BM_CurlEighteenFetches(benchmark::State& state)
{
    const auto urls = runUrls();
    for (auto _ : state)
        curlFetches(urls);
}
BENCHMARK(BM_CurlEighteenFetches)->Unit(benchmark::kMillisecond);

// Alternating rounds, so both sides meet the same load on a shared machine; medians.
void printRatio(int rounds)
{
    using Clock = std::chrono::steady_clock;
    const auto urls = runUrls();
    std::vector<double> run, curl;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        overviewRun();
        auto t1 = Clock::now();
        curlFetches(urls);
        auto t2 = Clock::now();
        run.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        curl.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("side by side, %d rounds: overview run %.3f ms, libcurl 18 fetches %.3f ms, ratio %.2f\n", rounds,
                median(run), median(curl), median(run) / median(curl));

    // The run is on this thread, so its CPU time is this thread's (the stand-in's threads
    // are not the client's cost).
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    // With and without the connections kept, each over HTTP and HTTPS, in turn.
    for (const bool reuse : {false, true}) {
        const auto run = reuse ? overviewRun : overviewRunWithoutReuse;
        std::vector<double> plain, https, plainCpu, httpsCpu;
        for (int i = 0; i < rounds; ++i) {
            const double c0 = cpuMs();
            auto t0 = Clock::now();
            run();
            auto t1 = Clock::now();
            const double c1 = cpuMs();
            profiles::setActiveProfile(httpsProfile());
            const double c2 = cpuMs();
            auto t2 = Clock::now();
            run();
            auto t3 = Clock::now();
            const double c3 = cpuMs();
            profiles::setActiveProfile(plainProfile());
            plain.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            https.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
            plainCpu.push_back(c1 - c0);
            httpsCpu.push_back(c3 - c2);
        }
        std::printf("side by side, %d rounds, %s: overview over HTTP %.3f ms (CPU %.3f ms), over HTTPS %.3f ms "
                    "(CPU %.3f ms), ratio %.2f (CPU %.2f)\n",
                    rounds, reuse ? "connections kept within the run" : "a new connection per fetch", median(plain),
                    median(plainCpu), median(https), median(httpsCpu), median(https) / median(plain),
                    median(httpsCpu) / median(plainCpu));
    }
}

// The overview against a stand-in 50 ms away (per connection and per answer), asking 8
// hosts at once, beside its floor: the requests of the host asked most, one after another
// with libcurl, as no side-by-side run can end before that host's chain.
void printJobsRatio(int rounds)
{
    using Clock = std::chrono::steady_clock;
    standin::StandinServer distant({.latencyMs = 50, .keepAlive = true});
    net::clearConnectToRules();
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(distant.port())}});
    std::map<std::string, std::vector<std::string>> byHost;
    for (const std::string& url : runUrls())
        byHost[net::splitAddress(url).host].push_back(url);
    std::vector<std::string> chain;
    for (const auto& [host, urls] : byHost)
        if (urls.size() > chain.size())
            chain = urls;
    const std::string connectTo = "::127.0.0.1:" + std::to_string(distant.port());
    std::vector<double> jobs, floor;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        queries::setOverviewJobs(8);
        overviewRun();
        queries::setOverviewJobs(1);
        auto t1 = Clock::now();
        for (const auto& url : chain) {
            CURL* curl = curl_easy_init();
            curl_slist* route = curl_slist_append(nullptr, connectTo.c_str());
            std::string body;
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route);
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
            curl_easy_perform(curl);
            curl_easy_cleanup(curl);
            curl_slist_free_all(route);
        }
        auto t2 = Clock::now();
        jobs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        floor.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::sort(jobs.begin(), jobs.end());
    std::sort(floor.begin(), floor.end());
    const double j = jobs[jobs.size() / 2];
    const double f = floor[floor.size() / 2];
    std::printf("side by side, %d rounds, 50 ms per connection and answer: overview --jobs 8 %.1f ms, floor (%zu "
                "requests of one host) %.1f ms, ratio %.2f\n",
                rounds, j, chain.size(), f, j / f);
}

} // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    net::addConnectToRules({{"", "443", "127.0.0.1", std::to_string(server().tlsPort())},
                            {"", "", "127.0.0.1", std::to_string(server().port())}});
    const std::filesystem::path ca = std::filesystem::temp_directory_path() / "kaldrani-bench-overview-ca.pem";
    authority().writeCertificate(ca);
    net::addTrustAnchorFile(ca.string());
    if (!httpsProfile().problems.empty()) {
        std::fprintf(stderr, "bench_overview: the https profile has problems\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    printRatio(10);
    printJobsRatio(10);
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
