#pragma once

namespace kaldrani::run {

// Lets a blocking query hand control to the window system between two fetches: the
// window repaints and other windows stay usable, where the queries say so and nowhere else.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Processes the window messages that are waiting, once.
    virtual void processPendingEvents() = 0;
};

// For callers without a window system (the command line, benchmarks).
class NoEventPump final : public EventPump {
public:
    void processPendingEvents() override { }
};

} // namespace kaldrani::run
