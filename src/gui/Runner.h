#pragma once

#include "core/net/StopSignal.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace kaldrani::gui {

// Whether a window takes clicks and keys while its run waits on the network. Repaints,
// timers and the desktop's requests are handled either way.
enum class InputDuringRun { Waits, Handled };

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

    // Runs job off the user-interface thread and returns when it has returned; meanwhile the
    // windows repaint, timers fire and input is handled as `input` says. When the
    // application is told to quit meanwhile, returns early and leaves the run to stop.
    // What job raises is dropped: a run reports through its view, not by unwinding.
    void runAndWait(const std::function<void()>& job, InputDuringRun input);

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

    // Makes every later onWindow return without calling, ends every network wait of the
    // runs at once, and waits for every run to end. Call from the user-interface thread,
    // before the windows the runs report to go.
    void stop();

private:
    struct Run;
    void start(std::function<void()> job);
    void post(std::function<void()> call);
    void reap();

    // Lives on the user-interface thread; what the runs post is delivered through it.
    std::unique_ptr<QObject> m_relay;
    net::StopSignal m_stop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    std::list<std::shared_ptr<Run>> m_runs;
};

} // namespace kaldrani::gui
