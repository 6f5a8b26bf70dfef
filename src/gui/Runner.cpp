#include "gui/Runner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QWidget>

#include <atomic>

namespace kaldrani::gui {

struct Runner::Run {
    std::thread thread;
    // Its own: a Stop ends this run's waits and no other's.
    net::StopSignal stop;
    std::atomic<bool> stopped{false};
    bool ended = false; // under m_mutex

    void raiseStop()
    {
        stopped = true;
        stop.raise();
    }
};

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// Whether widget is within, or a pop-up of, ancestor.
bool within(const QWidget* widget, const QWidget* ancestor)
{
    for (; widget; widget = widget->parentWidget())
        if (widget == ancestor)
            return true;
    return false;
}

// For the length of one run: drops the input its window would otherwise queue until the
// run ends, shows the stop button and stops the run on its click.
class InputHold final : public QObject {
public:
    InputHold(const RunHold& hold, std::function<void()> stop) : m_hold(hold), m_stop(std::move(stop))
    {
        m_started.start();
        if (m_hold.stopButton) {
            connect(m_hold.stopButton, &QAbstractButton::clicked, this, [this] { m_stop(); });
            m_hold.stopButton->show();
            m_hold.stopButton->raise();
        }
        qApp->installEventFilter(this);
    }
    ~InputHold() override
    {
        qApp->removeEventFilter(this);
        if (m_hold.stopButton)
            m_hold.stopButton->hide();
    }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!isUserInput(event->type()) || !watched->isWidgetType())
            return false;
        const auto* widget = static_cast<const QWidget*>(watched);
        if (m_hold.stopButton && within(widget, m_hold.stopButton))
            return m_started.elapsed() < QApplication::doubleClickInterval();
        return m_hold.input == InputDuringRun::Waits && within(widget, m_hold.window);
    }

private:
    RunHold m_hold;
    std::function<void()> m_stop;
    QElapsedTimer m_started;
};

} // namespace

Runner::Runner() : m_relay(std::make_unique<QObject>()) { }

Runner::~Runner()
{
    stop();
}

std::shared_ptr<Runner::Run> Runner::start(std::function<void()> job)
{
    reap();
    auto run = std::make_shared<Run>();
    const std::lock_guard lock(m_mutex);
    if (m_stopping)
        return nullptr;
    m_runs.push_back(run);
    run->thread = std::thread([this, run, job = std::move(job)] {
        const net::StopScope stoppable(run->stop);
        try {
            job();
        } catch (...) {
            // Nothing may unwind a thread; the runs report their failures through their views.
        }
        const std::lock_guard lock(m_mutex);
        run->ended = true;
        m_changed.notify_all();
    });
    return run;
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

bool Runner::waitFor(std::function<void()> job, const RunHold& hold)
{
    struct Wait {
        bool ended = false;
        QEventLoop* loop = nullptr;
    };
    auto wait = std::make_shared<Wait>();
    QEventLoop loop;
    wait->loop = &loop;
    const std::shared_ptr<Run> run = start([this, wait, job = std::move(job)] {
        try {
            job();
        } catch (...) {
            // Left unset, the result says so.
        }
        const std::lock_guard lock(m_mutex);
        wait->ended = true;
        if (wait->loop)
            QMetaObject::invokeMethod(wait->loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!run)
        return false;
    bool quitting = false;
    {
        const InputHold held(hold, [run] { run->raiseStop(); });
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (wait->ended || m_stopping)
                    break;
            }
            // A quitting application ends every loop at once, and later ones at their start:
            // leave the run to stop then.
            if (loop.exec(QEventLoop::AllEvents) != 0) {
                quitting = true;
                break;
            }
        }
    }
    const std::lock_guard lock(m_mutex);
    wait->loop = nullptr;
    return wait->ended && !quitting && !m_stopping && !run->stopped;
}

void Runner::stop()
{
    std::list<std::shared_ptr<Run>> runs;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
        for (const auto& run : m_runs)
            run->raiseStop();
        runs.swap(m_runs);
    }
    for (const auto& run : runs)
        run->thread.join();
}

} // namespace kaldrani::gui
