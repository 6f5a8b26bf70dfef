#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace kaldrani::gui {

// Where a window of the given outer size goes so that it keeps marginRight pixels to the
// screen's right edge and marginBottom pixels to its bottom edge: the top-left corner of
// its frame, on the full screen (not the work area).
constexpr QPoint placeNearCorner(QSize screen, QSize outer, int marginRight, int marginBottom)
{
    return {screen.width() - outer.width() - marginRight, screen.height() - outer.height() - marginBottom};
}

} // namespace kaldrani::gui

namespace kaldrani::gui {

// The primary screen's full size in pixels.
QSize fullScreenSize();

// Moves the window's frame to placeNearCorner on that screen size, counting the frame the
// window system reports now (none before the window was first shown). Returns whether a
// frame was known.
bool placeWindowNearCorner(QWidget* window, QSize screen, int marginRight, int marginBottom);

// A window kept near the screen's bottom-right corner: placed at creation on the screen
// size taken then, and once more when first shown, as soon as its frame is known.
class CornerPlacement {
public:
    // Places the window now.
    CornerPlacement(QWidget* window, int marginRight, int marginBottom);
    // Call from the window's showEvent; the first show with a frame places it again.
    void windowShown();

private:
    QWidget* m_window;
    QSize m_screen;
    int m_marginRight;
    int m_marginBottom;
    bool m_placedWithFrame = false;
};

// Moves the window so that its centre is that of over's frame, or, without over, that of
// the window's screen work area. Meant for a window's first show.
void centreOver(QWidget* window, const QWidget* over);

} // namespace kaldrani::gui
