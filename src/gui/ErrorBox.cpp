#include "gui/ErrorBox.h"

#include <QMessageBox>

#include <exception>
#include <utility>

namespace kaldrani::gui {

namespace {

std::function<void(const QString&)>& errorSink()
{
    static std::function<void(const QString&)> sink;
    return sink;
}

// Only the message is shown, as the system's texts are complete sentences already.
QString messageOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

const char* const unknownFailure = "Unknown exception.";

} // namespace

void showApplicationError(const QString& message, QWidget* parent)
{
    if (const auto& sink = errorSink()) {
        sink(message);
        return;
    }
    QMessageBox::critical(parent, QStringLiteral("Kaldrani"), message);
}

void setApplicationErrorSink(std::function<void(const QString&)> sink)
{
    errorSink() = std::move(sink);
}

void runHandler(const std::function<void()>& handler, QWidget* parent)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showApplicationError(messageOf(e), parent);
    } catch (...) {
        showApplicationError(QString::fromLatin1(unknownFailure), parent);
    }
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // An exception must not reach the event loop: Qt would end the loop, and with it the program.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showApplicationError(messageOf(e));
    } catch (...) {
        showApplicationError(QString::fromLatin1(unknownFailure));
    }
    return false;
}

} // namespace kaldrani::gui
