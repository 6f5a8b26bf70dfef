#include "gui/FirstPaint.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <memory>

namespace kaldrani::gui {

namespace {

// Watches the whole application, not one QWindow: the widget's native window may be made
// again after it is shown (a change of its flags), and the watch must not go with it.
class FirstExpose : public QObject {
public:
    FirstExpose(QWidget* widget, std::function<void()> then, int fallbackMs)
        : QObject(widget), m_widget(widget), m_then(std::move(then))
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(fallbackMs, this, [this] { fire(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Queued, so it runs once the expose has been painted and flushed.
        if (event->type() == QEvent::Expose && watched == m_widget->windowHandle()
            && static_cast<QWindow*>(watched)->isExposed())
            QTimer::singleShot(0, this, [this] { fire(); });
        return false;
    }

private:
    void fire()
    {
        if (!m_then)
            return;
        const auto then = std::move(m_then);
        m_then = nullptr;
        qApp->removeEventFilter(this);
        deleteLater();
        then();
    }

    QWidget* m_widget;
    std::function<void()> m_then;
};

} // namespace

void afterFirstPaint(QWidget* window, std::function<void()> then, int fallbackMs)
{
    new FirstExpose(window, std::move(then), fallbackMs);
}

} // namespace kaldrani::gui
