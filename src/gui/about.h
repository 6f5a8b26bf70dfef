#pragma once

#include "gui/ToolWindow.h"

class QLabel;

namespace kaldrani::gui {

class TLinkLabel;

// The about window: title, version and edition, author and contact lines, the maker's site.
class TfrmAbout : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window hidden; it centres itself over centreOver (else over its screen's
    // work area) when first shown.
    explicit TfrmAbout(const QWidget* centreOver = nullptr);

    static constexpr int kClientWidth = 238;
    static constexpr int kClientHeight = 150;

    QLabel* bsSkinStdLabel1 = nullptr;
    QLabel* bsSkinStdLabel2 = nullptr;
    QLabel* bsSkinStdLabel3 = nullptr;
    QLabel* bsSkinStdLabel4 = nullptr;
    TLinkLabel* bsSkinLinkLabel1 = nullptr;

    // Opens the maker's home page.
    void bsSkinLinkLabel1Click();

protected:

private:
};

} // namespace kaldrani::gui
