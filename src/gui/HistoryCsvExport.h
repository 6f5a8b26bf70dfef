#pragma once

#include <QString>

#include <string>
#include <vector>

class QWidget;

namespace kaldrani::gui {

// Asks where to save and writes the records (as ReadHistory returns them) there as CSV,
// UTF-8 with a byte-order mark, replacing the file crash-safe. A failure is shown in the
// application's error box. Returns true when a file was written.
bool exportHistoryCsv(QWidget* parent, const QString& site, const std::vector<std::vector<std::string>>& records);

} // namespace kaldrani::gui
