#include "core/queries/SideBySide.h"

#include "core/net/ConnectionPool.h"
#include "core/net/StopSignal.h"
#include "core/text/Ascii.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace kaldrani::queries {

void runSideBySide(const std::vector<SideTask>& tasks, int jobs)
{
    if (jobs <= 1 || tasks.size() <= 1) {
        for (const SideTask& task : tasks)
            if (const std::function<void()> show = task.work(true))
                show();
        return;
    }
    enum class State { Waiting, Asking, Ended };
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<State> states;
        std::vector<std::function<void()>> shows;
        std::vector<std::exception_ptr> errors;
        std::set<std::string> busyHosts;
        bool abandoned = false;
    } shared;
    shared.states.assign(tasks.size(), State::Waiting);
    shared.shows.resize(tasks.size());
    shared.errors.resize(tasks.size());

    const net::StopSignal* stop = net::currentStopSignal();
    net::ConnectionPool* pool = net::currentConnectionPool();
    const auto worker = [&] {
        std::optional<net::StopScope> scope;
        if (stop)
            scope.emplace(*stop);
        std::optional<net::PoolScope> pooled;
        if (pool)
            pooled.emplace(*pool);
        std::unique_lock lock(shared.mutex);
        for (;;) {
            size_t next = tasks.size();
            bool anyWaiting = false;
            for (size_t i = 0; i < tasks.size(); ++i) {
                if (shared.states[i] != State::Waiting)
                    continue;
                anyWaiting = true;
                if (!shared.busyHosts.contains(text::asciiLower(tasks[i].host))) {
                    next = i;
                    break;
                }
            }
            if (!anyWaiting || shared.abandoned)
                return;
            if (next == tasks.size()) {
                shared.changed.wait(lock);
                continue;
            }
            const std::string host = text::asciiLower(tasks[next].host);
            shared.states[next] = State::Asking;
            shared.busyHosts.insert(host);
            lock.unlock();
            std::function<void()> show;
            std::exception_ptr error;
            try {
                show = tasks[next].work(false);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            shared.shows[next] = std::move(show);
            shared.errors[next] = error;
            shared.states[next] = State::Ended;
            shared.busyHosts.erase(host);
            shared.changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    const size_t count = std::min(tasks.size(), static_cast<size_t>(jobs));
    for (size_t i = 0; i < count; ++i)
        workers.emplace_back(worker);
    const auto joinAll = [&] {
        {
            const std::lock_guard lock(shared.mutex);
            shared.abandoned = true;
            shared.changed.notify_all();
        }
        for (auto& w : workers)
            w.join();
    };

    try {
        for (size_t shown = 0; shown < tasks.size(); ++shown) {
            std::function<void()> show;
            std::exception_ptr error;
            {
                std::unique_lock lock(shared.mutex);
                shared.changed.wait(lock, [&] { return shared.states[shown] == State::Ended; });
                show = std::move(shared.shows[shown]);
                error = shared.errors[shown];
            }
            if (error)
                std::rethrow_exception(error);
            if (show)
                show();
        }
    } catch (...) {
        joinAll();
        throw;
    }
    joinAll();
}

} // namespace kaldrani::queries
