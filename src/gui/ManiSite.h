#pragma once

#include "core/records/DataFolder.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The site manager window: the site list as plain text, one site per line.
class TfrmManiSite : public QWidget {
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
    void brnSaveClick();
    void brnCancClick();

    kaldrani::records::DataFolder m_folder;
    const QWidget* m_centreOver;
    bool m_placed = false;
};
