#pragma once

#include <unistd.h>

#include <utility>

namespace kaldrani::sys {

// Owns one file descriptor and closes it when it goes; -1 owns nothing. Movable, not
// copyable, so that every error path closes without a hand-written close.
class UniqueFd {
public:
    UniqueFd() = default;
    // Takes ownership of fd (which may be -1).
    explicit UniqueFd(int fd) noexcept : m_fd(fd) { }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) { }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    // The descriptor, still owned; -1 when none.
    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }

    // Closes the descriptor now; returns whether close succeeded (a delayed write error
    // shows here). Owns nothing afterwards.
    bool closeNow() noexcept
    {
        const int fd = release();
        return fd >= 0 && ::close(fd) == 0;
    }

    // Closes the owned descriptor, if any, and owns fd instead.
    void reset(int fd = -1) noexcept
    {
        const int old = std::exchange(m_fd, fd);
        if (old >= 0)
            ::close(old);
    }

private:
    int m_fd = -1;
};

// A pipe whose two ends close themselves: [0] reads, [1] writes.
struct UniquePipe {
    UniqueFd read;
    UniqueFd write;
};

// Makes a pipe with the given pipe2 flags; returns false (both ends empty) when it fails.
inline bool makePipe(UniquePipe& pipe, int flags)
{
    int fds[2];
    if (::pipe2(fds, flags) != 0)
        return false;
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
    return true;
}

} // namespace kaldrani::sys
