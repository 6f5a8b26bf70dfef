#pragma once

#include "gui/ToolWindow.h"

#include <string>

class QLineEdit;
class QAbstractButton;
class QPlainTextEdit;
class QPushButton;

namespace kaldrani::gui {

class Runner;

// The IP lookup window: where an IP address or host is, and the user's own public address,
// which creation starts to fetch without holding anything up.
class TfrmIP : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden); FormCreate starts the own-address fetch here, on runner.
    explicit TfrmIP(Runner& runner, QWidget* parent = nullptr);

    QLineEdit* txtIP = nullptr;
    QPushButton* btnCX = nullptr;
    QPlainTextEdit* MoIP = nullptr;
    // Shown over MoIP when a lookup of the current profile finds no offline database.
    QPushButton* btnDownload = nullptr;

    // One lookup of txtIP's text; its result replaces MoIP's text.
    void btnCXClick();
    // Downloads the offline database, then repeats the lookup.
    void btnDownloadClick();
    // A mouse click in txtIP: the hint text goes.
    void txtIPClick();

signals:
    // The own-address answer came back; shown says whether MoIP took it (it does not once
    // a lookup has started).
    void ownAddressSettled(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void ownAddressArrived(const std::string& text);

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
    bool m_lookupStarted = false;
};

} // namespace kaldrani::gui
