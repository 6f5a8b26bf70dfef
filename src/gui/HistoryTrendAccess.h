#pragma once

#include "core/records/DataFolder.h"

namespace kaldrani::gui {

class HistoryWindow;
class ToolWindow;

// Lets the history window open a site's trend chart (double-click on a site, or the
// context menu of the site list and of the grid) and export its history as CSV from the
// same menus; tool tips say so. The window's layout is not touched.
void attachTrendAccess(HistoryWindow* history, const kaldrani::records::DataFolder& folder);

// The history window's trend chart, made on first use; nullptr before that.
ToolWindow* trendWindowOf(const HistoryWindow* history);

} // namespace kaldrani::gui
