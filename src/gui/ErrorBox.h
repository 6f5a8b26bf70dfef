#pragma once

#include <QApplication>
#include <QString>

#include <functional>

class QWidget;

namespace kaldrani::gui {

// The application's default error box: caption "Kaldrani", the failure's message as text.
// After it the program goes on.
void showApplicationError(const QString& message, QWidget* parent = nullptr);

// Replaces the box for tests: every message goes to sink instead of a window. An empty
// function restores the real box.
void setApplicationErrorSink(std::function<void(const QString&)> sink);

// Runs one event handler; an exception that leaves it is shown in the default error box
// (over parent) instead of unwinding through the toolkit. Never throws.
void runHandler(const std::function<void()>& handler, QWidget* parent = nullptr);

// The application object: an exception that leaves an event handler is shown in the
// default error box, and the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace kaldrani::gui
