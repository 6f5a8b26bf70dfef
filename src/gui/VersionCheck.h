#pragma once

#include <QObject>

#include <functional>

namespace kaldrani::gui {

class Runner;

// The decimal separator of the user's locale (QLocale's default).
char localeDecimalSeparator();

// The new-version check, waited on by nobody: visits the version page as a browser would
// and asks whether a newer version is published, both on runner, then calls
// done(published) on receiver's thread, unless receiver is gone by then.
void checkForNewVersion(Runner& runner, QObject* receiver, int readTimeoutMs, std::function<void(bool)> done);

} // namespace kaldrani::gui
