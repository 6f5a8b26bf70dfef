#pragma once

namespace kaldrani::run {

// The window side that every run reports to: it is told when the run starts and ends.
class RunView {
public:
    virtual ~RunView() = default;
    // Disables (running) or enables the controls that start the run and feed it.
    virtual void setRunning(bool running) = 0;
};

} // namespace kaldrani::run
