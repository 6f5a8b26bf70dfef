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

class WhoisWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden).
    WhoisWindow(Runner& runner, const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // More lines than this in the record box switch its vertical scroll bar on, for good.
    static constexpr int kLinesWithoutScrollBar = 27;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // One whois query of the typed domain; its result replaces the record box's text.
    void onQueryClicked();
    void reloadSiteList();

    Runner& m_runner;
    QComboBox* m_domainBox = nullptr;
    QPushButton* m_queryButton = nullptr;
    QPlainTextEdit* m_recordBox = nullptr;
    QAbstractButton* m_stopButton = nullptr;
    kaldrani::records::DataFolder m_folder;
};

} // namespace kaldrani::gui
