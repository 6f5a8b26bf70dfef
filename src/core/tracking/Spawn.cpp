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
    const bool ended = readUntil(pipeFds[0], std::chrono::steady_clock::now() + bound, result.out, 65536);
    if (!ended)
        ::kill(pid, SIGKILL);
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended)
        result.exitCode = -1;
    else
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

namespace {

void writeAll(int fd, const std::string& text)
{
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

bool isNumber(const std::string& line)
{
    return !line.empty() && std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The process of its own: runs argv, tells the caller through `status` whether it
// started, follows its lines and runs then on `when`.
[[noreturn]] void follow(const std::vector<std::string>& argv, const std::string& when,
                         const std::vector<std::string>& then, int status)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        writeAll(status, "fail: no pipe\n");
        ::_exit(0);
    }
    const pid_t pid = spawnWithOutput(argv, out[1]);
    ::close(out[1]);
    if (pid < 0) {
        writeAll(status, "fail: " + argv[0] + " could not be started\n");
        ::_exit(0);
    }
    std::string pending, said;
    bool told = false;
    char buf[4096];
    for (ssize_t got; (got = ::read(out[0], buf, sizeof buf)) != 0;) {
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        pending.append(buf, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (!told && isNumber(line)) {
                writeAll(status, "ok\n");
                ::close(status);
                told = true;
            } else if (told && line == when && !then.empty()) {
                // At once: the program may go on until its notice is closed.
                ::close(out[0]);
                std::vector<char*> next = argvOf(then);
                ::execvp(next[0], next.data());
                ::_exit(127);
            } else if (!told && said.size() < 4096) {
                said += line + "\n";
            }
        }
    }
    ::close(out[0]);
    int exitStatus = 0;
    while (::waitpid(pid, &exitStatus, 0) < 0 && errno == EINTR) {
    }
    if (!told)
        writeAll(status, "fail: " + said);
    ::_exit(0);
}

} // namespace

std::string spawnDetachedAndFollow(const std::vector<std::string>& argv, const std::string& when,
                                   const std::vector<std::string>& then, std::chrono::milliseconds bound)
{
    if (argv.empty())
        return "nothing to run";
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return "cannot fork";
    }
    if (child == 0) {
        ::close(status[0]);
        // A session of its own, and not our child: it lives on after the caller ends, and a
        // service manager that ends the caller's processes with it can be told to leave it.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(0);
        // It keeps nothing of the caller's: not its output (a reader waits for its end)
        // nor its files (a lock would outlive the caller).
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(devNull, fd);
        ::dup2(status[1], 3);
        ::close_range(4, ~0U, 0);
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
        follow(argv, when, then, 3);
    }
    ::close(status[1]);
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
