#include "gui/LookupWait.h"

#include <QEventLoop>
#include <QMetaObject>

#include <thread>

namespace kaldrani::gui {

std::string waitForLookup(const std::function<std::string()>& lookup)
{
    QEventLoop loop;
    std::string result;
    std::thread worker([&] {
        try {
            result = lookup();
        } catch (...) {
            // The lookups report failures as their own texts; nothing else may unwind a thread.
        }
        // Queued, so a lookup that ends before exec() starts still ends the loop.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

} // namespace kaldrani::gui
