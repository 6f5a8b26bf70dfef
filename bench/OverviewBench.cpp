#include "StandinServer.h"
#include "StandinTls.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
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
#include <filesystem>
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

// Serves HTTPS too, for the same overview with every service moved to https.
standin::StandinServer& server()
{
    static standin::StandinServer s({.authority = &authority()});
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

    std::vector<double> plain, https;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        overviewRun();
        auto t1 = Clock::now();
        profiles::setActiveProfile(httpsProfile());
        auto t2 = Clock::now();
        overviewRun();
        auto t3 = Clock::now();
        profiles::setActiveProfile(plainProfile());
        plain.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        https.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
    }
    std::printf("side by side, %d rounds: overview over HTTP %.3f ms, over HTTPS %.3f ms, ratio %.2f\n", rounds,
                median(plain), median(https), median(https) / median(plain));
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
    printRatio(200);
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
