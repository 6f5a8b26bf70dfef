#pragma once

#include "core/net/StopSignal.h"

#include <QObject>
#include <QPointer>

class QAbstractButton;
class QWidget;

#include <condition_variable>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

namespace kaldrani::gui {

// Whether a window takes clicks and keys while its run waits on the network. Repaints,
// timers and the desktop's requests are handled either way, and the other windows and
// the tray take input throughout.
enum class InputDuringRun { Waits, Handled };

// What a window holds while its run goes on.
struct RunHold {
    // The window whose clicks and keys are dropped while the run goes on (InputDuringRun::
    // Waits), never queued to arrive once it ended.
    QWidget* window = nullptr;
    InputDuringRun input = InputDuringRun::Waits;
    // Shown while the run goes on: a click stops it. It takes no click in the first double
    // click interval, so that a double click on the start button does not stop what it started.
    QAbstractButton* stopButton = nullptr;
};

// The one way a window waits on the network: the core's blocking runs go to threads of
// their own, never the user-interface thread, and reach the windows only through
// onWindow, in order. Every run has ended before the runner is gone, so no run can
// outlive the windows it reports to.
class Runner {
public:
    Runner();
    // Stops, if stop has not been called yet.
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // Runs job off the user-interface thread and returns what it returned; meanwhile the
    // windows repaint, timers fire, and hold.window takes input as hold.input says. Returns
    // an empty optional when the run was stopped (its stop button, or the application told
    // to quit: then it returns at once and leaves the run to stop) or job raised. A job
    // owns what it uses: it captures by value, never a caller's local by reference.
    template <class Job>
    auto runAndWait(Job job, const RunHold& hold) -> std::optional<std::invoke_result_t<Job&>>
    {
        using T = std::invoke_result_t<Job&>;
        // Owned by the run and by this call alike: a quit returns here while the run goes on.
        auto result = std::make_shared<std::optional<T>>();
        if (!waitFor([job = std::move(job), result]() mutable { result->emplace(job()); }, hold))
            return std::nullopt;
        return std::move(*result);
    }

    // Runs job off the user-interface thread and returns at once.
    void run(std::function<void()> job) { start(std::move(job)); }

    // Runs job off the user-interface thread and returns at once; then done(result) runs on
    // the user-interface thread, unless context is gone or the runner stopping by then, or
    // job raised.
    template <class T>
    void runThen(QObject* context, std::function<T()> job, std::function<void(T)> done)
    {
        start([this, context = QPointer<QObject>(context), job = std::move(job), done = std::move(done)] {
            T result = job();
            post([context, done, result = std::move(result)] {
                if (context)
                    done(result);
            });
        });
    }

    // From a run: calls call on the user-interface thread and returns when it has, raising
    // what it raised. On the user-interface thread: calls it directly. Once the runner is
    // stopping, returns without calling it.
    void onWindow(const std::function<void()>& call);

    // Makes every later onWindow return without calling, raises every run's stop signal, and waits for every run to end. Call from the user-interface thread,
    // before the windows the runs report to go.
    void stop();

private:
    struct Run;
    // True when job ran to its end, unstopped.
    bool waitFor(std::function<void()> job, const RunHold& hold);
    std::shared_ptr<Run> start(std::function<void()> job);
    void post(std::function<void()> call);
    void reap();

    // Lives on the user-interface thread; what the runs post is delivered through it.
    std::unique_ptr<QObject> m_relay;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    std::list<std::shared_ptr<Run>> m_runs;
};

} // namespace kaldrani::gui
