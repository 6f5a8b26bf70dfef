#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string_view>

class QAbstractButton;

namespace kaldrani::gui {

// The title bars of the program's windows.
enum class TitleBar {
    Tool,      // title, system menu, minimise and close
    CloseOnly, // title and close
    Dialog,    // a fixed dialog: title and close
    Plain,     // the desktop's own decorations
};

// What every window of the program shares: its title bar, fixed client size and font,
// being centred the first time it is shown (when asked), the Return key as a click on
// its default button, and handlers that report a failure in the error box instead of
// unwinding through the toolkit.
class ToolWindow : public QWidget {
    Q_OBJECT
protected:
    // A top-level window of the given title bar, title and client size, in the program's
    // font, hidden.
    ToolWindow(QWidget* parent, TitleBar bar, const QString& title, QSize client);

    // Centres the window the first time it is shown: over over's frame, or over the work
    // area of its screen when over is null.
    void centreOnFirstShow(const QWidget* over = nullptr);
    // A Return or Enter the window's controls leave unused clicks button.
    void setReturnButton(QAbstractButton* button);
    // The button that stops the window's run: "停止", over start and of its size, hidden
    // until a run shows it (RunHold::stopButton).
    QAbstractButton* addStopButton(QAbstractButton* start);
    // A click of button runs handler as an event handler (see runHandler).
    template <class Window>
    void onClicked(QAbstractButton* button, void (Window::*handler)());

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void connectClick(QAbstractButton* button, std::function<void()> handler);

    bool m_centre = false;
    bool m_placed = false;
    const QWidget* m_over = nullptr;
    QAbstractButton* m_returnButton = nullptr;
};

template <class Window>
void ToolWindow::onClicked(QAbstractButton* button, void (Window::*handler)())
{
    auto* window = static_cast<Window*>(this);
    connectClick(button, [window, handler] { (window->*handler)(); });
}

// The core's UTF-8 text as the toolkit's.
inline QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace kaldrani::gui
