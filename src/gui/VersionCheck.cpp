#include "gui/VersionCheck.h"

#include "core/lookups/NewVersion.h"
#include "gui/Runner.h"

#include <QLocale>

namespace kaldrani::gui {

char localeDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode()) : '\0';
}

void checkForNewVersion(Runner& runner, QObject* receiver, int readTimeoutMs, std::function<void(bool)> done)
{
    runner.run([] { lookups::visitVersionPage(); });
    // Read on this thread: QLocale's default belongs to the GUI side.
    const char separator = localeDecimalSeparator();
    runner.runThen<bool>(
        receiver, [readTimeoutMs, separator] { return lookups::newVersionPublished(readTimeoutMs, separator); },
        std::move(done));
}

} // namespace kaldrani::gui
