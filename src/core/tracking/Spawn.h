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

// Runs argv (argv[0] looked up on PATH) with empty standard input, waits at most `bound`
// for its output to end and for it to end, then kills it. Never raises.
SpawnResult spawnAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds bound);

// Runs argv (as spawnAndWait) in a process of its own that outlives the caller: a new
// session, not the caller's child. Returns once argv has printed a first line that is a
// number (an empty text), or ended without one (its output, or why it could not start),
// or after `bound` ("no answer"). Should argv later print the line `when`, then is run
// (then[0] looked up on PATH) in that process at once. Forks, but allocates nothing in
// the forked processes, so a caller with threads may call it. Never raises.
std::string spawnDetachedAndFollow(const std::vector<std::string>& argv, const std::string& when,
                                   const std::vector<std::string>& then, std::chrono::milliseconds bound);

} // namespace kaldrani::tracking
