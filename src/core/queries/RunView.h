#pragma once

#include "core/queries/EventPump.h"

namespace kaldrani::queries {

// The window side that every run reports to: it can pump events between two fetches and
// is told when the run starts and ends.
class RunView : public EventPump {
public:
    // Disables (running) or enables the controls that start the run and feed it.
    virtual void setRunning(bool running) = 0;
};

// Sets the view running for the guard's lifetime, and idle again however the scope ends.
class RunGuard {
public:
    explicit RunGuard(RunView& view) : m_view(view) { m_view.setRunning(true); }
    ~RunGuard() { m_view.setRunning(false); }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

private:
    RunView& m_view;
};

} // namespace kaldrani::queries
