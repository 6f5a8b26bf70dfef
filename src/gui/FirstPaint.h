#pragma once

#include <functional>

class QWidget;

namespace kaldrani::gui {

// Runs then once, right after window has first been shown and painted: what the first
// paint does not need can wait until the user sees the window. Should the window never be
// exposed (started minimised, no display), then runs after fallbackMs all the same.
void afterFirstPaint(QWidget* window, std::function<void()> then, int fallbackMs = 1000);

} // namespace kaldrani::gui
