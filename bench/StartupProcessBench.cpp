// Run on demand, on a display: xvfb-run -a bench_startup_process [ROUNDS]. Starts the
// program and the bare window (StartupBare.cpp) alternately, ROUNDS times each (9 unless
// given), and prints the medians of the time from the process's start to its main window
// shown and painted, and of its peak memory, side by side. The program starts as a user
// starts it: every window made, a site list of two sites, the IP service silent.
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double startupMs = 0;
    double peakMb = 0;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// One start of program: from just before the spawn to the probe's line; peak memory from
// the child's resource usage once it has quit. Nothing when it did not report.
bool runOnce(const std::string& program, const std::vector<std::string>& environment, Sample& sample)
{
    int out[2];
    if (::pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    const long long started = monotonicNs();
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return false;
    }
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    long long shown = 0;
    if (std::sscanf(text.c_str(), "shown %lld", &shown) != 1)
        return false;
    sample.startupMs = static_cast<double>(shown - started) / 1e6;
    sample.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "bench_startup_process: no display; run it as xvfb-run -a %s\n", argv[0]);
        return 2;
    }
    const std::filesystem::path base = std::filesystem::temp_directory_path()
                                       / ("kaldrani-startup-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "data/kaldrani/vemro/data");
    std::filesystem::create_directories(base / "config");
    std::filesystem::create_directories(base / "runtime");
    std::filesystem::permissions(base / "runtime", std::filesystem::perms::owner_all);
    std::ofstream(base / "data/kaldrani/vemro/website.txt", std::ios::binary) << "example.com\r\nkaldrani-demo.cn\r\n";

    kaldrani::standin::StandinServer server;
    kaldrani::standin::Response silent;
    silent.delayMs = 600000;
    server.setAnswer(kaldrani::endpoints::kMaker, "/ip/data/", silent);

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_", 0) != 0 && entry.rfind("KALDRANI_", 0) != 0)
            environment.push_back(entry);
    }
    environment.push_back("XDG_DATA_HOME=" + (base / "data").string());
    environment.push_back("XDG_CONFIG_HOME=" + (base / "config").string());
    environment.push_back("XDG_RUNTIME_DIR=" + (base / "runtime").string());
    environment.push_back("KALDRANI_CONNECT_TO=::127.0.0.1:" + std::to_string(server.port()));
    environment.push_back("KALDRANI_STARTUP_PROBE=1");

    const std::vector<std::pair<const char*, std::string>> programs = {{"kaldrani", KALDRANI_PROGRAM},
                                                                       {"bare window", KALDRANI_BARE_WINDOW}};
    std::vector<std::vector<double>> startup(programs.size()), peak(programs.size());
    // A run of each to warm the page cache, then alternating rounds, so both meet the same load.
    for (int round = -1; round < rounds; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t i = (round % 2 == 0) ? k : programs.size() - 1 - k;
            Sample sample;
            if (!runOnce(programs[i].second, environment, sample)) {
                std::fprintf(stderr, "bench_startup_process: %s did not report its first show\n", programs[i].first);
                std::filesystem::remove_all(base);
                return 1;
            }
            if (round >= 0) {
                startup[i].push_back(sample.startupMs);
                peak[i].push_back(sample.peakMb);
            }
        }
    }
    std::filesystem::remove_all(base);
    std::printf("%-12s %12s %12s\n", "", "start-up ms", "peak MB");
    for (size_t i = 0; i < programs.size(); ++i)
        std::printf("%-12s %12.1f %12.1f\n", programs[i].first, median(startup[i]), median(peak[i]));
    std::printf("side by side, median of %d rounds: start-up %.2fx the bare window, peak memory %.2fx\n", rounds,
                median(startup[0]) / median(startup[1]), median(peak[0]) / median(peak[1]));
    return 0;
}
