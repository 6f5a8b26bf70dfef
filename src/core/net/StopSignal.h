#pragma once

#include "core/sys/UniqueFd.h"

namespace kaldrani::net {

// Lets a run that nobody waits for any more end early: while a StopScope binds a signal
// to a thread, every network wait on that thread also watches the signal, and once it is
// raised the wait raises NetError of kind Stopped at once.
class StopSignal {
public:
    // Raises std::system_error when the system has no descriptor left.
    StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Ends every wait watching the signal, now and from now on.
    void raise() noexcept;
    // Readable once raised.
    int fd() const { return m_fd.get(); }

private:
    sys::UniqueFd m_fd;
};

// Binds signal to the calling thread for the scope's lifetime.
class StopScope {
public:
    explicit StopScope(const StopSignal& signal);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    const StopSignal* m_previous;
};

// The descriptor of the signal bound to the calling thread, or -1.
int currentStopFd();

// Whether the signal bound to the calling thread was raised: a stopped run writes no
// record of what it did not finish.
bool stopRequested();
// The signal bound to the calling thread, or null: for a thread a run starts to bind too.
const StopSignal* currentStopSignal();

} // namespace kaldrani::net
