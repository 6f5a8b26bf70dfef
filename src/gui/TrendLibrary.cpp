// The one way into the trend window's library; see TrendLoader.h.
#include "gui/TrendWindow.h"
#include "gui/TrendLoader.h"

namespace {

using kaldrani::gui::TrendWindow;
using kaldrani::gui::ToolWindow;

ToolWindow* create(const kaldrani::records::DataFolder& folder, QWidget* parent)
{
    auto* window = new TrendWindow(folder, parent);
    window->setObjectName(QStringLiteral("trendWindow"));
    return window;
}

void showSite(ToolWindow* window, const QString& site)
{
    static_cast<TrendWindow*>(window)->showSite(site);
}

constexpr kaldrani::gui::TrendWindowEntry entry{kaldrani::gui::kTrendWindowEntryLayout, &create, &showSite};

} // namespace

extern "C" __attribute__((visibility("default"))) const kaldrani::gui::TrendWindowEntry* kaldrani_trend_window_entry()
{
    return &entry;
}
