#pragma once

#include "core/records/DataFolder.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The site manager window: the site list as plain text, one site per line.
class TfrmManiSite : public QWidget {
    Q_OBJECT
public:
    // Creates the window (hidden); FormCreate runs here.
    explicit TfrmManiSite(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    QPlainTextEdit* MoUrl = nullptr;
    QPushButton* brnSave = nullptr;
    QPushButton* brnCanc = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void brnSaveClick();
    void brnCancClick();

    kaldrani::records::DataFolder m_folder;
    bool m_placed = false;
};

extern TfrmManiSite* frmManiSite;
