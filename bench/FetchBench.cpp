// Run on demand: bench_fetch [--benchmark_repetitions=N]. Prints the ratios last (against
// the floor, a bare blocking socket, and against libcurl), with allocations per fetch; the
// HTTPS pair needs nginx and openssl (scripts/install-deps puts them in).
#include "ProxyPeers.h"
#include "TlsPeers.h"

#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/TRegExp.h"
#include "core/net/Tls.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <vector>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <iostream>
#include <map>
#include <memory>


// Allocations the fetching thread makes through operator new (the server's thread is not
// the fetch's cost), and those libcurl makes through its own allocator hooks.
thread_local std::uint64_t tAllocations = 0;
std::atomic<std::uint64_t> gCurlAllocations{0};

// These replace the global pair, so free() here meets malloc() above, whatever GCC infers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    ++tAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

void* curlMalloc(size_t size)
{
    ++gCurlAllocations;
    return std::malloc(size);
}
void* curlCalloc(size_t count, size_t size)
{
    ++gCurlAllocations;
    return std::calloc(count, size);
}
void* curlRealloc(void* p, size_t size)
{
    ++gCurlAllocations;
    return std::realloc(p, size);
}
char* curlStrdup(const char* text)
{
    ++gCurlAllocations;
    return ::strdup(text);
}

// Per-fetch figures beside the times: allocations and, from the benchmark's own CPU
// column, the CPU each fetch costs the calling thread.
void reportAllocations(benchmark::State& state, std::uint64_t count)
{
    state.counters["allocs/fetch"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kAvgIterations);
}

std::string page100k()
{
    std::string body;
    while (body.size() < 100 * 1024)
        body += "<div class=\"r\"><a href=\"http://www.example.com/p" + std::to_string(body.size()) + "\">result</a></div>\n";
    body.resize(100 * 1024);
    return body;
}


// Plain HTTP comes from nginx, as HTTPS does: an in-process server's own wake-ups would
// decide the figure.
int plainPort();
std::string plainUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(plainPort()) + path;
}

// The floor: one blocking socket, one write of the request, reads up to the body's end
// (the answer's length is known beforehand) into a buffer made once; no parsing.
void Floor100K(benchmark::State& state)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(plainPort()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET /page.html HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(plainPort())
                                + "\r\nConnection: close\r\n\r\n";
    static char buffer[256 * 1024];
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0
            || ::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            state.SkipWithError("floor client failed");
            break;
        }
        size_t got = 0;
        for (ssize_t n; (n = ::read(fd, buffer + got, sizeof buffer - got)) > 0;)
            got += static_cast<size_t>(n);
        ::close(fd);
        if (got < 100 * 1024)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(buffer);
    }
    state.SetBytesProcessed(state.iterations() * 100 * 1024);
}
BENCHMARK(Floor100K)->Unit(benchmark::kMicrosecond);

void FetchPage100K(benchmark::State& state)
{
    const std::string url = plainUrl("/page.html");
    const std::uint64_t allocationsBefore = tAllocations;
    for (auto _ : state) {
        kaldrani::net::THttpClient client;
        std::string buffer;
        client.FetchPage(url, buffer);
        if (buffer.size() != 100 * 1024)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(buffer.data());
    }
    reportAllocations(state, tAllocations - allocationsBefore);
    state.SetBytesProcessed(state.iterations() * 100 * 1024);
}
BENCHMARK(FetchPage100K)->Unit(benchmark::kMicrosecond);

size_t appendBody(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

void Curl100K(benchmark::State& state)
{
    const std::string url = plainUrl("/page.html");
    const std::uint64_t allocationsBefore = tAllocations + gCurlAllocations;
    for (auto _ : state) {
        CURL* curl = curl_easy_init();
        std::string buffer;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
        const CURLcode rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        if (rc != CURLE_OK || buffer.size() != 100 * 1024)
            state.SkipWithError("curl failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    reportAllocations(state, tAllocations + gCurlAllocations - allocationsBefore);
    state.SetBytesProcessed(state.iterations() * 100 * 1024);
}
BENCHMARK(Curl100K)->Unit(benchmark::kMicrosecond);

// A 1 MB result page (UTF-8, mixed Chinese and markup) with the count line at the top, as
// result pages place it, or at the very end, the worst case, where both searches cross the
// whole page.
std::string resultPage(bool countAtEnd)
{
    const std::string count = "<p class=\"nums\">找到相关网页约1,230,000篇，用时0.001秒</p>\n";
    std::string p = "<html><head><title>站长工具 搜索结果</title></head><body>\n";
    if (!countAtEnd)
        p += count;
    const std::string block = "<div class=\"result\"><h3><a href=\"http://www.example.com/item.html\">示例网页标题 - "
                              "站长之家</a></h3><p>这是一段搜索结果的摘要文字，包含关键词、网址和说明。"
                              "Some ASCII text as well, 2009-06-15.</p></div>\n";
    while (p.size() < 1024 * 1024)
        p += block;
    if (countAtEnd)
        p += count;
    return p + "</body></html>\n";
}

const std::string& page(bool countAtEnd)
{
    static const std::string top = resultPage(false);
    static const std::string end = resultPage(true);
    return countAtEnd ? end : top;
}

void ExtractTRegExp(benchmark::State& state)
{
    const std::string& text = page(state.range(0) != 0);
    for (auto _ : state) {
        kaldrani::net::TRegExp re;
        re.setPattern("找到相关网页((.|\\n)*?)篇");
        const auto matches = re.Execute(text);
        if (matches.Count() != 1 || matches.Item(0).Value != "找到相关网页约1,230,000篇")
            state.SkipWithError("no match");
        benchmark::DoNotOptimize(matches);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(ExtractTRegExp)->ArgName("countAtEnd")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void ExtractMemmem(benchmark::State& state)
{
    const std::string& text = page(state.range(0) != 0);
    static const std::string start = "找到相关网页";
    static const std::string end = "篇";
    for (auto _ : state) {
        const char* s = static_cast<const char*>(memmem(text.data(), text.size(), start.data(), start.size()));
        const char* e = s == nullptr ? nullptr
                                     : static_cast<const char*>(memmem(s + start.size(), text.data() + text.size() - s - start.size(),
                                                                       end.data(), end.size()));
        if (e == nullptr) {
            state.SkipWithError("no match");
            break;
        }
        std::string value(s, e + end.size());
        benchmark::DoNotOptimize(value.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(ExtractMemmem)->ArgName("countAtEnd")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// nginx over TLS with a test authority made for the run; both clients make a full
// handshake per fetch. page.html is the 100 KB page, tiny.html one byte: the tiny fetch is
// nearly all handshake.
struct HttpsPeer {
    kaldrani::testing::TestCertificates certs;
    std::unique_ptr<kaldrani::testing::NginxServer> nginx;
    std::string base;

    HttpsPeer()
    {
        std::ofstream(certs.file("page.html"), std::ios::binary) << page100k();
        std::ofstream(certs.file("tiny.html"), std::ios::binary) << "x";
        nginx = std::make_unique<kaldrani::testing::NginxServer>(certs);
        base = "https://a.example:" + std::to_string(nginx->tlsPort());
        kaldrani::net::addTrustAnchorFile(certs.file("ca.pem"));
        kaldrani::net::addConnectToRules({{"a.example", "", "127.0.0.1", ""}});
    }
};

HttpsPeer& httpsPeer()
{
    static HttpsPeer peer;
    return peer;
}

int plainPort()
{
    return httpsPeer().nginx->filesPort();
}

kaldrani::testing::Tinyproxy& tinyproxy()
{
    static kaldrani::testing::Tinyproxy proxy;
    return proxy;
}

// The 100 KB page from nginx through tinyproxy (absolute-form requests).
void fetchViaProxy(const std::string& url)
{
    kaldrani::net::THttpClient client;
    client.Proxy = kaldrani::net::ProxyRules();
    client.Proxy.everything = tinyproxy().url();
    std::string buffer;
    client.FetchPage(url, buffer);
    if (buffer.size() != 100 * 1024)
        throw std::runtime_error("short body through the proxy");
}

void curlViaProxy(const std::string& url)
{
    CURL* curl = curl_easy_init();
    std::string buffer;
    const std::string proxy = tinyproxy().url();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK || buffer.size() != 100 * 1024)
        throw std::runtime_error("curl through the proxy failed");
}

// The two sides alternating over rounds, so both meet the same load on a shared machine:
// medians of wall time and of this thread's CPU time.
void printAlternating(const char* name, int rounds, const std::function<void()>& ours, const std::function<void()>& peer)
{
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    using Clock = std::chrono::steady_clock;
    std::vector<double> wallA, wallB, cpuA, cpuB;
    for (int i = 0; i < rounds; ++i) {
        for (int side = 0; side < 2; ++side) {
            const double c0 = cpuMs();
            const auto t0 = Clock::now();
            (side == i % 2 ? ours : peer)();
            const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            const double cpu = cpuMs() - c0;
            ((side == i % 2) ? wallA : wallB).push_back(wall);
            ((side == i % 2) ? cpuA : cpuB).push_back(cpu);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%s, %d alternating rounds: ours %.3f ms (CPU %.3f ms), libcurl %.3f ms (CPU %.3f ms), ratio %.2f "
                "(CPU %.2f)\n",
                name, rounds, median(wallA), median(cpuA), median(wallB), median(cpuB), median(wallA) / median(wallB),
                median(cpuA) / median(cpuB));
}

void FetchPageHttps(benchmark::State& state, const char* path, size_t size)
{
    const std::string url = httpsPeer().base + path;
    for (auto _ : state) {
        kaldrani::net::THttpClient client;
        std::string buffer;
        client.FetchPage(url, buffer);
        if (buffer.size() != size)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(buffer.data());
    }
}

void CurlHttps(benchmark::State& state, const char* path, size_t size)
{
    HttpsPeer& peer = httpsPeer();
    const std::string url = peer.base + path;
    const std::string connectTo = "a.example:" + std::to_string(peer.nginx->tlsPort()) + ":127.0.0.1:"
                                  + std::to_string(peer.nginx->tlsPort());
    curl_slist* rules = curl_slist_append(nullptr, connectTo.c_str());
    const std::string ca = peer.certs.file("ca.pem");
    for (auto _ : state) {
        std::string buffer;
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECT_TO, rules);
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
        const CURLcode rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        if (rc != CURLE_OK || buffer.size() != size)
            state.SkipWithError("curl failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    curl_slist_free_all(rules);
}

BENCHMARK_CAPTURE(FetchPageHttps, 100K, "/page.html", 100 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CurlHttps, 100K, "/page.html", 100 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FetchPageHttps, tiny, "/tiny.html", 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CurlHttps, tiny, "/tiny.html", 1)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's mean time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                times[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    curl_global_init_mem(CURL_GLOBAL_DEFAULT, curlMalloc, std::free, curlRealloc, curlStrdup, curlCalloc);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* a, const char* b) {
        if (reporter.times.count(a) && reporter.times.count(b) && reporter.times[b] > 0)
            std::cout << a << " / " << b << " = " << reporter.times[a] / reporter.times[b] << "\n";
    };
    ratio("FetchPage100K", "Floor100K");
    ratio("FetchPage100K", "Curl100K");
    ratio("FetchPageHttps/100K", "CurlHttps/100K");
    ratio("FetchPageHttps/tiny", "FetchPageHttps/100K");
    ratio("ExtractTRegExp/countAtEnd:0", "ExtractMemmem/countAtEnd:0");
    ratio("ExtractTRegExp/countAtEnd:1", "ExtractMemmem/countAtEnd:1");
    const std::string page = plainUrl("/page.html");
    printAlternating("100 KB over HTTP from nginx", 10, [&] {
        kaldrani::net::THttpClient client;
        std::string buffer;
        client.FetchPage(page, buffer);
    }, [&] {
        CURL* curl = curl_easy_init();
        std::string buffer;
        curl_easy_setopt(curl, CURLOPT_URL, page.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
        curl_easy_perform(curl);
        curl_easy_cleanup(curl);
    });
    printAlternating("100 KB through tinyproxy", 10, [&] { fetchViaProxy(page); }, [&] { curlViaProxy(page); });
    benchmark::Shutdown();
    curl_global_cleanup();
}
