#include "gui/Placement.h"

#include <QGuiApplication>
#include <QScreen>
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

} // namespace kaldrani::gui
