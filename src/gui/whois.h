#pragma once

#include "core/records/DataFolder.h"

#include "gui/ToolWindow.h"

class QComboBox;
class QAbstractButton;
class QPlainTextEdit;
class QPushButton;

namespace kaldrani::gui {

class Runner;

// The whois window: the registration record of the domain typed or picked from the site
// list, as the whois page states it.

class TfrmWhois : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden).
    TfrmWhois(Runner& runner, const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // More lines than this in MoWhois switch its vertical scroll bar on, for good.
    static constexpr int kLinesWithoutScrollBar = 27;

    QComboBox* txtUrl = nullptr;
    QPushButton* btnCX = nullptr;
    QPlainTextEdit* MoWhois = nullptr;

    // One whois query of txtUrl's text; its result replaces MoWhois's text.
    void btnCXClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
    kaldrani::records::DataFolder m_folder;
};

} // namespace kaldrani::gui
