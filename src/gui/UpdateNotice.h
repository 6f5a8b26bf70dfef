#pragma once

#include "gui/Placement.h"

#include "gui/ToolWindow.h"

#include <optional>

namespace kaldrani::gui {

// The update notice: tells that a newer version is published and links the maker's site.
// Created once, hidden; every check that finds a newer version shows it again.
class UpdateNotice : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window hidden, placed near the screen's bottom-right corner.
    explicit UpdateNotice(QWidget* parent = nullptr);

    static constexpr int kClientWidth = 195;
    static constexpr int kClientHeight = 127;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onSiteLinkClicked();

    std::optional<CornerPlacement> m_placement;
};

} // namespace kaldrani::gui
