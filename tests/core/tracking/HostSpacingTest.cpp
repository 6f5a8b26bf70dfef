#include "core/tracking/HostSpacing.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace kaldrani::tracking;
using namespace std::chrono;

namespace {

TEST(HostSpacing, OneHostWaitsTheDelayAfterEachRequestOthersDoNot)
{
    HostSpacing spacing(milliseconds(80), milliseconds(1000));
    std::vector<steady_clock::time_point> starts;
    std::mutex mutex;
    auto request = [&](const std::string& host) {
        spacing.beforeRequest(host);
        {
            const std::lock_guard lock(mutex);
            if (host == "a")
                starts.push_back(steady_clock::now());
        }
        spacing.afterRequest(host, false);
    };
    const auto t0 = steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back(request, "a");
    for (auto& t : threads)
        t.join();
    // Another host is free at once, though "a" was just asked.
    const auto before = steady_clock::now();
    request("b");
    EXPECT_LT(steady_clock::now() - before, milliseconds(40));
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_LT(starts[0] - t0, milliseconds(40)) << "the first request does not wait";
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], milliseconds(80));
}

TEST(HostSpacing, RefusalsDoubleTheDelayUpToItsBoundAndAGoodAnswerResetsIt)
{
    HostSpacing spacing(milliseconds(100), milliseconds(350));
    const std::string host = "engine.example";
    std::vector<long> delays;
    for (bool refused : {true, true, true, false}) {
        spacing.beforeRequest(host);
        spacing.afterRequest(host, refused);
        delays.push_back(static_cast<long>(spacing.delayOf(host).count()));
    }
    EXPECT_EQ(delays, (std::vector<long>{200, 350, 350, 100}));
}

} // namespace
