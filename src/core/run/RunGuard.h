#pragma once

#include "core/run/RunView.h"

namespace kaldrani::run {

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

} // namespace kaldrani::run
