#pragma once

#include "gui/Placement.h"

#include "gui/ToolWindow.h"

#include <optional>

class QLabel;

namespace kaldrani::gui {

class TLinkLabel;

// The update notice: tells that a newer version is published and links the maker's site.
// Created once, hidden; every check that finds a newer version shows it again.
class TfrmUpdate : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window hidden; FormCreate places it near the screen's bottom-right corner.
    explicit TfrmUpdate(QWidget* parent = nullptr);

    static constexpr int kClientWidth = 195;
    static constexpr int kClientHeight = 127;

    QLabel* bsSkinStdLabel1 = nullptr;
    QLabel* bsSkinStdLabel2 = nullptr;
    TLinkLabel* bsSkinLinkLabel1 = nullptr;

    // Opens the maker's home page.
    void bsSkinLinkLabel1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();

    std::optional<CornerPlacement> m_placement;
};

} // namespace kaldrani::gui
