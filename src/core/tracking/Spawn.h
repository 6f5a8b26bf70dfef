#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kaldrani::tracking {

// What a program said and how it ended.
struct SpawnResult {
    bool started = false; // false: the program could not be started (not installed)
    int exitCode = -1;    // 128 + signal when a signal ended it; -1 when killed at the bound
    std::string out;      // standard output and standard error together, at most 64 KiB
};

// Runs argv (argv[0] looked up on PATH) with empty standard input, waits at most `bound`,
// then kills it. Never raises.
SpawnResult spawnAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds bound);

} // namespace kaldrani::tracking
