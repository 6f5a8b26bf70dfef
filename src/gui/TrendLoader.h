#pragma once

#include "core/records/DataFolder.h"

#include <QString>

class QWidget;

namespace kaldrani::gui {

class ToolWindow;

// What the trend window's own library hands the program. The window lives there, so that
// Qt Charts, which nothing else uses, is loaded when it first opens rather than at start.
struct TrendWindowEntry {
    // Raised whenever this struct or what its functions take changes, so that a library
    // of another build is refused instead of called wrongly.
    int layout;
    ToolWindow* (*create)(const kaldrani::records::DataFolder& folder, QWidget* parent);
    void (*showSite)(ToolWindow* window, const QString& site);
};

inline constexpr int kTrendWindowEntryLayout = 1;

// The name of the library's one exported function, returning its TrendWindowEntry.
inline constexpr const char* kTrendWindowEntrySymbol = "kaldrani_trend_window_entry";

// Makes the trend window (hidden, object name "trendWindow") as a child of parent, loading
// its library on the first call. Throws std::runtime_error naming the library and the
// loader's reason when it cannot be loaded or is of another build.
ToolWindow* createTrendWindow(const kaldrani::records::DataFolder& folder, QWidget* parent);

// Reads site's history into window (one createTrendWindow made) and shows it.
void showTrendSite(ToolWindow* window, const QString& site);

} // namespace kaldrani::gui
