#include "core/queries/SideBySide.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace kaldrani;
using namespace kaldrani::queries;

namespace {

struct Watch {
    std::mutex mutex;
    std::map<std::string, int> perHost;
    int atOnce = 0;
    int mostAtOnce = 0;
    bool sameHostTogether = false;
};

// A task of host that takes ms and, when shown, appends its number to shown.
SideTask task(Watch& watch, const std::string& host, int ms, int number, std::vector<int>& shown)
{
    return {host, [&watch, &shown, host, ms, number](bool) {
                {
                    const std::lock_guard lock(watch.mutex);
                    if (++watch.perHost[host] > 1)
                        watch.sameHostTogether = true;
                    watch.mostAtOnce = std::max(watch.mostAtOnce, ++watch.atOnce);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                {
                    const std::lock_guard lock(watch.mutex);
                    --watch.perHost[host];
                    --watch.atOnce;
                }
                return std::function<void()>([&shown, number] { shown.push_back(number); });
            }};
}

} // namespace

TEST(SideBySide, ShowsInOrderAsksHostsApartAndBoundsTheJobs)
{
    struct Case {
        const char* name;
        int jobs;
        int mostAtOnce;
    };
    const Case cases[] = {{"one after another", 1, 1}, {"two at once", 2, 2}, {"more jobs than hosts", 16, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Watch watch;
        std::vector<int> shown;
        // The slow first task ends last; three hosts, the first with four tasks.
        const std::vector<SideTask> tasks = {
            task(watch, "a", 60, 0, shown), task(watch, "b", 5, 1, shown), task(watch, "A", 5, 2, shown),
            task(watch, "c", 5, 3, shown),  task(watch, "b", 5, 4, shown), task(watch, "a", 5, 5, shown),
            task(watch, "a", 5, 6, shown),
        };
        runSideBySide(tasks, c.jobs);
        EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
        EXPECT_FALSE(watch.sameHostTogether);
        EXPECT_EQ(watch.mostAtOnce, c.mostAtOnce);
    }
}

TEST(SideBySide, AFailedTaskRaisesInItsPlace)
{
    Watch watch;
    std::vector<int> shown;
    const std::vector<SideTask> tasks = {
        task(watch, "a", 5, 0, shown),
        {"b", [](bool) -> std::function<void()> { throw std::runtime_error("task 1"); }},
        task(watch, "c", 5, 2, shown),
    };
    EXPECT_THROW(runSideBySide(tasks, 3), std::runtime_error);
    EXPECT_EQ(shown, std::vector<int>{0});
}
