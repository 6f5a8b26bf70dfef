#pragma once

#include "core/sys/UniqueFd.h"

#include <sys/types.h>

#include <string>
#include <vector>

// Runs a program the way a user's shell would, for tests of the real binaries. Programs
// are started with posix_spawn, never fork: a test process has server threads running,
// and a forked child of a threaded process may hang before it reaches exec.
namespace kaldrani::testing {

struct ProcessResult {
    int exitCode = -1; // the exit status, or 128 + signal number when a signal ended it
    std::string out;
    std::string err;
    long peakKb = 0; // the peak resident memory the program reached, in KiB
};

// Runs argv[0] (a path) with the arguments and the test's environment changed by
// `environment`: "NAME=VALUE" sets (replacing any of the same name), a bare "NAME" removes.
// Standard input gives `input`, then its end. Waits for the program to end. Raises
// std::runtime_error when it cannot be started.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
                         const std::string& input = {});

// A program left running while the test talks to it: standard output is read line by
// line, standard error goes to the test's own, standard input is empty. The destructor
// kills the program (SIGKILL) if it still runs, and waits for it.
class RunningProcess {
public:
    // Starts argv[0] as runProcess does; raises std::runtime_error when it cannot.
    explicit RunningProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    // The next line of standard output without its line feed; what is left at its end
    // (possibly empty) once the program closes it.
    std::string readLine();

    // Sends the signal to the program.
    void signal(int signo);

    // Waits for the program to end; the exit status, or 128 + signal number.
    int wait();

private:
    pid_t m_pid = -1;
    sys::UniqueFd m_out;
    std::string m_buffered;
};

// What a program printed, split at line feeds (a last line without one included).
std::vector<std::string> lines(const std::string& text);

} // namespace kaldrani::testing
