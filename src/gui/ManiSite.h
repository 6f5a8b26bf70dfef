#pragma once

#include "core/records/DataFolder.h"

#include "gui/ToolWindow.h"

#include <string>

class QPlainTextEdit;
class QPushButton;

namespace kaldrani::gui {

// The site manager window: the site list as plain text, one site per line.
class TfrmManiSite : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden); FormCreate runs here. It centres itself over centreOver
    // (else over its screen's work area) when first shown.
    explicit TfrmManiSite(const kaldrani::records::DataFolder& folder, const QWidget* centreOver = nullptr);

    QPlainTextEdit* MoUrl = nullptr;
    QPushButton* brnSave = nullptr;
    QPushButton* brnCanc = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void loadList();
    std::string unreadListReason() const;
    void brnSaveClick();
    void brnCancClick();

    kaldrani::records::DataFolder m_folder;
    // The list on disk was there but not read: the box does not hold it, so a save
    // would replace the user's list with what the box happens to show.
    bool m_listUnread = false;
};

} // namespace kaldrani::gui
