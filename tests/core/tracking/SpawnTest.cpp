#include "core/tracking/Spawn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>
#include <thread>

using namespace kaldrani::tracking;
using namespace std::chrono_literals;

// The bound covers the program's end, not only its output: one that closes its output and
// goes on is killed at the bound.
TEST(Spawn, AProgramThatClosesItsOutputAndGoesOnIsKilledAtTheBound)
{
    struct Case {
        const char* name;
        const char* script;
        int exitCode;
        const char* out;
    };
    const Case cases[] = {
        {"ends at once", "echo hi; exit 3", 3, "hi\n"},
        {"closes its output, then sleeps", "echo hi; exec >&- 2>&-; sleep 60", -1, "hi\n"},
        {"sleeps with its output open", "echo hi; sleep 60", -1, "hi\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SpawnResult r = spawnAndWait({"/bin/sh", "-c", c.script}, 500ms);
        EXPECT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
    }
}

// Forked beside a thread that allocates all the time, the detached follower still
// reports (a child that allocated after fork could hang on the allocator's lock).
TEST(Spawn, TheDetachedFollowerStartsBesideABusyThread)
{
    std::atomic<bool> stop = false;
    std::thread busy([&stop] {
        volatile size_t sink = 0;
        while (!stop) {
            const std::vector<std::string> garbage(64, std::string(100, 'x'));
            sink = sink + garbage.back().size();
        }
    });
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(spawnDetachedAndFollow({"/bin/sh", "-c", "echo 7"}, "never", {}, 5000ms), "");
    EXPECT_EQ(spawnDetachedAndFollow({"/bin/sh", "-c", "echo no number; exit 1"}, "never", {}, 5000ms), "no number");
    EXPECT_EQ(spawnDetachedAndFollow({"/no/such/program"}, "never", {}, 5000ms),
              "/no/such/program could not be started");
    stop = true;
    busy.join();
}
