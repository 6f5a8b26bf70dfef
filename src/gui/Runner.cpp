#include "gui/Runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace kaldrani::gui {

struct Runner::Run {
    std::thread thread;
    bool ended = false; // under m_mutex
};

Runner::Runner() : m_relay(std::make_unique<QObject>()) { }

Runner::~Runner()
{
    stop();
}

void Runner::start(std::function<void()> job)
{
    reap();
    auto run = std::make_shared<Run>();
    const std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    m_runs.push_back(run);
    run->thread = std::thread([this, run, job = std::move(job)] {
        const net::StopScope stoppable(m_stop);
        try {
            job();
        } catch (...) {
            // Nothing may unwind a thread; the runs report their failures through their views.
        }
        const std::lock_guard lock(m_mutex);
        run->ended = true;
        m_changed.notify_all();
    });
}

void Runner::reap()
{
    std::list<std::shared_ptr<Run>> ended;
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_runs.begin(); it != m_runs.end();) {
            if ((*it)->ended)
                ended.splice(ended.end(), m_runs, it++);
            else
                ++it;
        }
    }
    for (const auto& run : ended)
        run->thread.join();
}

void Runner::post(std::function<void()> call)
{
    const std::lock_guard lock(m_mutex);
    if (!m_stopping)
        QMetaObject::invokeMethod(m_relay.get(), std::move(call), Qt::QueuedConnection);
}

void Runner::onWindow(const std::function<void()>& call)
{
    if (QThread::currentThread() == m_relay->thread()) {
        call();
        return;
    }
    struct Pending {
        bool done = false;
        std::exception_ptr error;
    };
    auto pending = std::make_shared<Pending>();
    std::unique_lock lock(m_mutex);
    if (m_stopping)
        return;
    // The call itself stays on this thread's stack: the relay is deleted, with what is
    // still queued on it, only after every run has ended.
    QMetaObject::invokeMethod(
        m_relay.get(),
        [this, pending, &call] {
            {
                // A run left waiting when the runner stopped has returned: its call is gone.
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return;
            }
            std::exception_ptr error;
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(m_mutex);
            pending->done = true;
            pending->error = error;
            m_changed.notify_all();
        },
        Qt::QueuedConnection);
    m_changed.wait(lock, [&] { return pending->done || m_stopping; });
    if (pending->error)
        std::rethrow_exception(pending->error);
}

void Runner::runAndWait(const std::function<void()>& job, InputDuringRun input)
{
    struct Wait {
        bool ended = false;
        QEventLoop* loop = nullptr;
    };
    auto wait = std::make_shared<Wait>();
    QEventLoop loop;
    wait->loop = &loop;
    start([this, wait, job] {
        try {
            job();
        } catch (...) {
        }
        const std::lock_guard lock(m_mutex);
        wait->ended = true;
        if (wait->loop)
            QMetaObject::invokeMethod(wait->loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    const auto flags = input == InputDuringRun::Waits ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (wait->ended || m_stopping)
                break;
        }
        // A quitting application ends every loop at once, and later ones at their start:
        // leave the run to stop then.
        if (loop.exec(flags) != 0)
            break;
    }
    const std::lock_guard lock(m_mutex);
    wait->loop = nullptr;
}

void Runner::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    m_stop.raise();
    std::list<std::shared_ptr<Run>> runs;
    {
        const std::lock_guard lock(m_mutex);
        runs.swap(m_runs);
    }
    for (const auto& run : runs)
        run->thread.join();
}

} // namespace kaldrani::gui
