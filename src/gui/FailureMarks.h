#pragma once

#include <QColor>

#include <string>

class QTableWidgetItem;
class QWidget;

namespace kaldrani::gui {

// A failed figure keeps its text (the failure value, often "0") but is drawn in these
// colours, with the reason as its tool tip, so it cannot pass for a true answer.
inline const QColor kFailureText{192, 0, 0};
inline const QColor kFailureBackground{255, 224, 224};

// Marks a grid cell as failed for the reason given; an empty reason takes the mark off.
void markFailure(QTableWidgetItem* item, const std::string& why);
// The same for a label, the PageRank picture or the gauge.
void markFailure(QWidget* widget, const std::string& why);

} // namespace kaldrani::gui
