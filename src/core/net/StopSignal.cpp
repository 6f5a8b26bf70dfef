#include "core/net/StopSignal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace kaldrani::net {

namespace {

thread_local const StopSignal* t_signal = nullptr;

} // namespace

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_fd)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void StopSignal::raise() noexcept
{
    const std::uint64_t one = 1;
    // Never read: once readable, it stays readable for every later wait.
    [[maybe_unused]] const ssize_t written = ::write(m_fd.get(), &one, sizeof one);
}

StopScope::StopScope(const StopSignal& signal) : m_previous(t_signal)
{
    t_signal = &signal;
}

StopScope::~StopScope()
{
    t_signal = m_previous;
}

const StopSignal* currentStopSignal()
{
    return t_signal;
}

int currentStopFd()
{
    return t_signal ? t_signal->fd() : -1;
}

bool stopRequested()
{
    if (!t_signal)
        return false;
    pollfd ready{t_signal->fd(), POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0;
}

} // namespace kaldrani::net
