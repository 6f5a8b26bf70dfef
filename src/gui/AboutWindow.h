#pragma once

#include "gui/ToolWindow.h"

namespace kaldrani::gui {

// The about window: title, version and edition, author and contact lines, the maker's site.
class AboutWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window hidden; it centres itself over centreOver (else over its screen's
    // work area) when first shown.
    explicit AboutWindow(const QWidget* centreOver = nullptr);

    static constexpr int kClientWidth = 238;
    static constexpr int kClientHeight = 150;

private:
    void onSiteLinkClicked();
};

} // namespace kaldrani::gui
