#include "core/tracking/Spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

extern char** environ;

namespace kaldrani::tracking {

namespace {

std::vector<char*> argvOf(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// Starts argv (argv[0] on PATH) with empty standard input and its output and errors on
// outFd. Returns its pid, or -1 when it could not start.
pid_t spawnWithOutput(const std::vector<std::string>& argv, int outFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    std::vector<char*> args = argvOf(argv);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Reads fd into out (keeping at most cap bytes) until its end or the deadline. True when
// its end came first.
bool readUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& out, size_t cap)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n <= 0)
            continue;
        char buf[4096];
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        if (out.size() < cap)
            out.append(buf, static_cast<size_t>(got));
    }
}

// Waits for pid to end, polling, until the deadline. True with its status when it ended.
bool endedBy(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status)
{
    for (auto pause = std::chrono::milliseconds(1);; pause = std::min(pause * 2, std::chrono::milliseconds(50))) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, static_cast<int>(pause.count()));
    }
}

} // namespace

SpawnResult spawnAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds bound)
{
    SpawnResult result;
    if (argv.empty())
        return result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = spawnWithOutput(argv, pipeFds[1]);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return result;
    }
    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool ended = readUntil(pipeFds[0], deadline, result.out, 65536);
    ::close(pipeFds[0]);
    // A program may close its output and go on: the bound holds for its end too.
    int status = 0;
    while (ended && !endedBy(pid, deadline, status))
        ended = false;
    if (!ended) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (!ended)
        result.exitCode = -1;
    else
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

namespace {

// Where the detached process keeps what it is given: the descriptors of its pipes.
constexpr int kStatusFd = 3;
constexpr int kOutReadFd = 4;
constexpr int kOutWriteFd = 5;

// Everything the detached process uses, made before fork: a child forked from a caller
// with other threads must not allocate (another thread may hold the allocator's lock), so
// it only reads these and calls the system.
struct Follower {
    std::vector<char*> args;
    std::vector<char*> next;
    std::string_view when;
    posix_spawn_file_actions_t actions;
    std::string cannotStart;     // "fail: PROGRAM could not be started\n"
    std::vector<char> line;      // the line being read
    std::vector<char> said;      // "fail: " and what the program said before failing
};

void writeAll(int fd, std::string_view rest)
{
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

bool isNumber(std::string_view line)
{
    return !line.empty() && std::all_of(line.begin(), line.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

// The process of its own: runs the program, tells the caller through kStatusFd whether it
// started, follows its lines and runs `then` on `when`.
[[noreturn]] void follow(Follower& f)
{
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, f.args[0], &f.actions, nullptr, f.args.data(), environ);
    ::close(kOutWriteFd);
    if (rc != 0) {
        writeAll(kStatusFd, f.cannotStart);
        ::_exit(0);
    }
    size_t pending = 0;
    size_t said = std::string_view("fail: ").size();
    bool told = false;
    for (;;) {
        if (pending == f.line.size())
            pending = 0; // a line longer than the buffer is no line of interest
        const ssize_t got = ::read(kOutReadFd, f.line.data() + pending, f.line.size() - pending);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending += static_cast<size_t>(got);
        for (char* end; (end = static_cast<char*>(std::memchr(f.line.data(), '\n', pending))) != nullptr;) {
            const std::string_view line(f.line.data(), static_cast<size_t>(end - f.line.data()));
            if (!told && isNumber(line)) {
                writeAll(kStatusFd, "ok\n");
                ::close(kStatusFd);
                told = true;
            } else if (told && line == f.when && f.next.size() > 1) {
                // At once: the program may go on until its notice is closed.
                ::close(kOutReadFd);
                ::execvp(f.next[0], f.next.data());
                ::_exit(127);
            } else if (!told) {
                const size_t n = std::min(line.size() + 1, f.said.size() - said);
                std::memcpy(f.said.data() + said, line.data(), n);
                if (n == line.size() + 1)
                    f.said[said + line.size()] = '\n';
                said += n;
            }
            const size_t used = line.size() + 1;
            std::memmove(f.line.data(), f.line.data() + used, pending - used);
            pending -= used;
        }
    }
    ::close(kOutReadFd);
    int exitStatus = 0;
    while (::waitpid(pid, &exitStatus, 0) < 0 && errno == EINTR) {
    }
    if (!told)
        writeAll(kStatusFd, std::string_view(f.said.data(), said));
    ::_exit(0);
}

} // namespace

std::string spawnDetachedAndFollow(const std::vector<std::string>& argv, const std::string& when,
                                   const std::vector<std::string>& then, std::chrono::milliseconds bound)
{
    if (argv.empty())
        return "nothing to run";
    Follower f;
    f.args = argvOf(argv);
    f.next = argvOf(then);
    f.when = when;
    f.cannotStart = "fail: " + argv[0] + " could not be started\n";
    f.line.resize(65536);
    f.said.resize(4096);
    std::memcpy(f.said.data(), "fail: ", 6);
    posix_spawn_file_actions_init(&f.actions);
    posix_spawn_file_actions_addopen(&f.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&f.actions, kOutWriteFd, 1);
    posix_spawn_file_actions_adddup2(&f.actions, kOutWriteFd, 2);
    int status[2];
    int out[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        posix_spawn_file_actions_destroy(&f.actions);
        return "no pipe";
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(status[0]);
        ::close(status[1]);
        posix_spawn_file_actions_destroy(&f.actions);
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(status[0]);
        // A session of its own, and not our child: it lives on after the caller ends, and a
        // service manager that ends the caller's processes with it can be told to leave it.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(0);
        // It keeps nothing of the caller's: not its output (a reader waits for its end)
        // nor its files (a lock would outlive the caller). The pipes go above the three
        // standard descriptors first, so that no dup2 below lands on one still needed.
        const int statusHigh = ::fcntl(status[1], F_DUPFD, 16);
        const int readHigh = ::fcntl(out[0], F_DUPFD, 16);
        const int writeHigh = ::fcntl(out[1], F_DUPFD, 16);
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(devNull, fd);
        ::dup2(statusHigh, kStatusFd);
        ::dup2(readHigh, kOutReadFd);
        ::dup2(writeHigh, kOutWriteFd);
        ::close_range(kOutWriteFd + 1, ~0U, 0);
        for (const int fd : {kStatusFd, kOutReadFd, kOutWriteFd})
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        follow(f);
    }
    ::close(status[1]);
    ::close(out[0]);
    ::close(out[1]);
    posix_spawn_file_actions_destroy(&f.actions);
    if (child < 0) {
        ::close(status[0]);
        return "cannot fork";
    }
    int ignored = 0;
    while (::waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
    }
    std::string answer;
    readUntil(status[0], std::chrono::steady_clock::now() + bound, answer, 65536);
    ::close(status[0]);
    if (answer.rfind("ok\n", 0) == 0)
        return {};
    if (answer.rfind("fail: ", 0) == 0) {
        std::string why = answer.substr(6);
        while (!why.empty() && why.back() == '\n')
            why.pop_back();
        return why.empty() ? argv[0] + " failed" : why;
    }
    return "no answer";
}

} // namespace kaldrani::tracking
