#pragma once

#include <functional>
#include <string>

namespace kaldrani::gui {

// Runs a blocking lookup off the user-interface thread and waits for it there: meanwhile
// the windows repaint and answer the desktop, but user input waits until the lookup has
// returned. Returns the lookup's result. The lookup must not touch any widget.
std::string waitForLookup(const std::function<std::string()>& lookup);

} // namespace kaldrani::gui
