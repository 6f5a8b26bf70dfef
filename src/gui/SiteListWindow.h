#pragma once

#include "core/records/DataFolder.h"

#include "gui/ToolWindow.h"

#include <string>

class QPlainTextEdit;
class QPushButton;

namespace kaldrani::gui {

// The site manager window: the site list as plain text, one site per line.
class SiteListWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden) and loads the list. It centres itself over centreOver
    // (else over its screen's work area) when first shown.
    explicit SiteListWindow(const kaldrani::records::DataFolder& folder, const QWidget* centreOver = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadList();
    std::string unreadListReason() const;
    void onSaveClicked();
    void onCancelClicked();

    kaldrani::records::DataFolder m_folder;
    QPlainTextEdit* m_siteBox = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    // The list on disk was there but not read: the box does not hold it, so a save
    // would replace the user's list with what the box happens to show.
    bool m_listUnread = false;
};

} // namespace kaldrani::gui
