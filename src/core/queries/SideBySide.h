#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kaldrani::queries {

// One query of a run asked side by side: work returns what shows its result, which runs on
// the caller's thread (empty: nothing to show). work is told direct when it runs on the
// caller's thread itself, so it may show its progress as it goes.
struct SideTask {
    std::string host;
    std::function<std::function<void()>(bool direct)> work;
};

// Runs the tasks, up to jobs at once and never two of one host at once, earlier tasks
// first. Each result is shown as soon as its own task and every earlier one have ended,
// so results appear in the tasks' order. The stop signal bound to the caller binds the
// workers too. With jobs 1 or less every task runs on the caller's thread, one after
// another, each shown at once. What a task raises is raised here, in its place in the order.
// The workers share the caller's connection pool, if one is bound (ConnectionPool.h).
void runSideBySide(const std::vector<SideTask>& tasks, int jobs);

} // namespace kaldrani::queries
