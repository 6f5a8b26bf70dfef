#pragma once

namespace kaldrani::gui {

// For start-up measurements (bench/StartupProcessBench.cpp): whether
// KALDRANI_STARTUP_PROBE is set.
bool startupProbed();

// When probed: prints "shown NS" (the monotonic clock in nanoseconds) on standard output,
// for the moment the main window has been shown and painted.
void reportShownIfProbed();

// When probed: quits the application, once the start-up's work is done.
void quitIfProbed();

} // namespace kaldrani::gui
