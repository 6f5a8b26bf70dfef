#include "ProcessRunner.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kaldrani::testing {

namespace {

std::vector<std::string> environmentWith(const std::vector<std::string>& changes)
{
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        bool changed = false;
        for (const auto& change : changes)
            changed = changed || nameOf(change) == nameOf(entry);
        if (!changed)
            env.push_back(entry);
    }
    for (const auto& change : changes)
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    return env;
}

std::vector<char*> pointers(const std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (const auto& s : strings)
        out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

// Spawns argv[0] with the given descriptors as its 0, 1 and 2 (-1: /dev/null).
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int in, int out,
            int err)
{
    const std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> args = pointers(argv);
    std::vector<char*> envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int targets[3] = {0, 1, 2};
    const int sources[3] = {in, out, err};
    for (int i = 0; i < 3; ++i) {
        if (sources[i] >= 0)
            posix_spawn_file_actions_adddup2(&actions, sources[i], targets[i]);
        else
            posix_spawn_file_actions_addopen(&actions, targets[i], "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

// The exit status; peakKb, when given, gets the program's peak resident memory.
int waitFor(pid_t pid, long* peakKb = nullptr)
{
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (peakKb != nullptr)
        *peakKb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         const std::string& input)
{
    sys::UniquePipe in, out, err;
    if (!sys::makePipe(in, O_CLOEXEC) || !sys::makePipe(out, O_CLOEXEC) || !sys::makePipe(err, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(argv, environment, in.read.get(), out.write.get(), err.write.get());
    in.read.reset();
    out.write.reset();
    err.write.reset();
    // A program that never reads its input must not block the test on a full pipe.
    ::fcntl(in.write.get(), F_SETFL, O_NONBLOCK);
    ::signal(SIGPIPE, SIG_IGN);

    ProcessResult result;
    std::size_t written = 0;
    if (input.empty())
        in.write.reset();
    pollfd fds[3] = {{out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}, {in.write.get(), POLLOUT, 0}};
    sys::UniqueFd* owners[3] = {&out.read, &err.read, &in.write};
    std::string* sinks[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[8192];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                owners[i]->reset();
                fds[i].fd = -1;
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t n = ::write(fds[2].fd, input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EINTR && errno != EAGAIN) || written == input.size()) {
                owners[2]->reset();
                fds[2].fd = -1;
            }
        }
    }
    result.exitCode = waitFor(pid, &result.peakKb);
    return result;
}

RunningProcess::RunningProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    sys::UniquePipe out;
    if (!sys::makePipe(out, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    m_pid = spawn(argv, environment, -1, out.write.get(), STDERR_FILENO);
    m_out = std::move(out.read);
}

RunningProcess::~RunningProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        waitFor(m_pid);
    }
}

std::string RunningProcess::readLine()
{
    for (;;) {
        const auto end = m_buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffered.substr(0, end);
            m_buffered.erase(0, end + 1);
            return line;
        }
        char buffer[4096];
        const ssize_t n = m_out ? ::read(m_out.get(), buffer, sizeof buffer) : 0;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_out.reset();
            return std::exchange(m_buffered, std::string());
        }
        m_buffered.append(buffer, static_cast<std::size_t>(n));
    }
}

void RunningProcess::signal(int signo)
{
    if (m_pid > 0)
        ::kill(m_pid, signo);
}

int RunningProcess::wait()
{
    const int status = waitFor(m_pid);
    m_pid = -1;
    return status;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace kaldrani::testing
