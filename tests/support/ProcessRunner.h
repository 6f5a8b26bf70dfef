#pragma once

#include <string>
#include <vector>

// Runs a program the way a user's shell would, for tests of the real binaries.
namespace kaldrani::testing {

struct ProcessResult {
    int exitCode = -1; // the exit status, or 128 + signal number when a signal ended it
    std::string out;
    std::string err;
    long peakKb = 0; // the peak resident memory the program reached, in KiB
};

// Runs argv[0] (a path) with the arguments, the test's environment plus environment
// entries "NAME=VALUE" (replacing any of the same name), and an empty stdin; waits for
// it to end. Raises std::runtime_error when it cannot be started.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

} // namespace kaldrani::testing
