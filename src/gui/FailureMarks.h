#pragma once

#include "core/fetch/Outcome.h"

#include <QColor>

#include <string>

class QTableWidgetItem;
class QWidget;

namespace kaldrani::gui {

// A failed figure keeps its text (the failure value, often "0") but is drawn in these
// colours, with the reason as its tool tip, so it cannot pass for a true answer.
inline const QColor kFailureText{192, 0, 0};
inline const QColor kFailureBackground{255, 224, 224};
// A refusal (a 429, a verification page) is no "0" either, nor a broken service: its own mark.
inline const QColor kBlockedText{160, 80, 0};
inline const QColor kBlockedBackground{255, 236, 200};
// A service the user's profile switched off was not asked at all.
inline const QColor kSwitchedOffText{128, 128, 128};
inline const QColor kSwitchedOffBackground{236, 236, 236};

// A service the profile says is gone: a grey of its own, so it reads neither as a failure
// nor as a choice of the user.
inline const QColor kRetiredText{96, 104, 120};
inline const QColor kRetiredBackground{226, 230, 236};

// What a figure's place shows for a service switched off instead of its failure value.
inline constexpr const char* kSwitchedOffShown = "已关闭";

// What a figure's place shows for a service not asked (switched off or retired), or
// nullptr when it was asked.
const char* notAskedShown(fetch::FailureKind kind, const std::string& why);

// Marks a grid cell as failed for the reason given, in the colours of its kind; an empty
// reason takes the mark off.
void markFailure(QTableWidgetItem* item, const std::string& why, fetch::FailureKind kind = fetch::FailureKind::Plain);
// The same for a label, the PageRank picture or the gauge.
void markFailure(QWidget* widget, const std::string& why, fetch::FailureKind kind = fetch::FailureKind::Plain);

} // namespace kaldrani::gui
