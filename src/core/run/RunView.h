#pragma once

#include "core/run/EventPump.h"

namespace kaldrani::run {

// The window side that every run reports to: it can pump events between two fetches and
// is told when the run starts and ends.
class RunView : public EventPump {
public:
    // Disables (running) or enables the controls that start the run and feed it.
    virtual void setRunning(bool running) = 0;
};

} // namespace kaldrani::run
