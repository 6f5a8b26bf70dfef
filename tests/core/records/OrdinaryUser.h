#pragma once

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace records_test {

// The user id permission tests drop to when they run as root ("nobody").
inline constexpr uid_t kOrdinaryId = 65534;
inline constexpr const char* kCannotDrop = "cannot act as an ordinary user here (as root, dropping to uid 65534 failed)";

// Runs fn in a child process as an ordinary user: as "nobody" when the test runs as root
// (whose writes no permission stops), else as the test's own user. Returns what fn returned,
// or "raised: <message>" when it threw; nothing when the child could not drop its rights,
// which the caller turns into a skip.
inline std::optional<std::string> asOrdinaryUser(const std::function<std::string()>& fn)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string result;
        if (::geteuid() == 0
            && (::setgroups(0, nullptr) != 0 || ::setresgid(kOrdinaryId, kOrdinaryId, kOrdinaryId) != 0
                || ::setresuid(kOrdinaryId, kOrdinaryId, kOrdinaryId) != 0)) {
            ::_exit(3);
        }
        try {
            result = fn();
        } catch (const std::exception& e) {
            result = std::string("raised: ") + e.what();
        }
        const char* p = result.data();
        size_t left = result.size();
        while (left > 0) {
            const ssize_t n = ::write(pipeFds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buf[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        result.append(buf, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return result;
}

} // namespace records_test
