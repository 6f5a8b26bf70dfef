// Run on demand: bench_keyword. A keyword run of seven engines over a hundred pages each
// against the loopback stand-in, beside libcurl fetching the same 700 pages; prints the
// side-by-side ratio last.
#include "StandinServer.h"
#include "core/net/ConnectTo.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/KeywordSearch.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kaldrani;

// The stand-in never lists this site, so every page of the range is requested.
const std::string kSite = "never-listed.example";
const std::string kKeyword = "网站优化";
constexpr int kPages = 100;

standin::StandinServer& server()
{
    static standin::StandinServer s;
    return s;
}

void keywordRun()
{
    queries::QuietKeywordView view;
    queries::EngineSelection all;
    all.fill(true);
    queries::runKeywordRanking(view, kSite, kKeyword, 1, kPages, all);
    benchmark::DoNotOptimize(view.result(SearchEngine::Bing));
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One easy handle per engine, reused for its hundred pages, as the scan reuses one client.
std::size_t curlPages()
{
    const std::string connectTo = "::127.0.0.1:" + std::to_string(server().port());
    curl_slist* route = curl_slist_append(nullptr, connectTo.c_str());
    std::size_t bytes = 0;
    for (const SearchEngine e : kSearchEngines) {
        CURL* curl = curl_easy_init();
        std::string body;
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 1000L);
        for (int page = 1; page <= kPages; ++page) {
            const std::string url = queries::keywordPageUrl(e, kKeyword, page);
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_perform(curl);
            bytes += body.size();
            body.clear();
        }
        curl_easy_cleanup(curl);
    }
    curl_slist_free_all(route);
    return bytes;
}

void BM_KeywordRun700Pages(benchmark::State& state)
{
    for (auto _ : state)
        keywordRun();
}
BENCHMARK(BM_KeywordRun700Pages)->Unit(benchmark::kMillisecond);

void BM_Curl700Pages(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(curlPages());
}
BENCHMARK(BM_Curl700Pages)->Unit(benchmark::kMillisecond);

// Alternating rounds, so both sides meet the same load on a shared machine; medians.
void printRatio(int rounds)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> run, curl;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        keywordRun();
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(curlPages());
        const auto t2 = Clock::now();
        run.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        curl.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("side by side, %d rounds: keyword run 7 x %d pages %.1f ms, libcurl same pages %.1f ms, ratio %.2f\n",
                rounds, kPages, median(run), median(curl), median(run) / median(curl));
}

} // namespace

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server().port())}});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    printRatio(15);
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
