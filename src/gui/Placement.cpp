#include "gui/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace kaldrani::gui {

QSize fullScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

bool placeWindowNearCorner(QWidget* window, QSize screen, int marginRight, int marginBottom)
{
    const QMargins frame = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    const QSize outer = window->size().grownBy(frame);
    window->move(placeNearCorner(screen, outer, marginRight, marginBottom));
    return !frame.isNull();
}

CornerPlacement::CornerPlacement(QWidget* window, int marginRight, int marginBottom)
    : m_window(window)
    , m_screen(fullScreenSize())
    , m_marginRight(marginRight)
    , m_marginBottom(marginBottom)
{
    placeWindowNearCorner(m_window, m_screen, m_marginRight, m_marginBottom);
}

void CornerPlacement::windowShown()
{
    if (m_placedWithFrame)
        return;
    // The frame is known only once the window is on screen; place it again counting it.
    QTimer::singleShot(0, m_window, [this] {
        if (!m_placedWithFrame && m_window->windowHandle() && !m_window->windowHandle()->frameMargins().isNull()) {
            placeWindowNearCorner(m_window, m_screen, m_marginRight, m_marginBottom);
            m_placedWithFrame = true;
        }
    });
}

void centreOver(QWidget* window, const QWidget* over)
{
    QRect area;
    if (over)
        area = over->frameGeometry();
    else if (const QScreen* screen = window->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

} // namespace kaldrani::gui
