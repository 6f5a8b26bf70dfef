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
class IpWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden) and starts the own-address fetch, on runner.
    explicit IpWindow(Runner& runner, QWidget* parent = nullptr);

signals:
    // The own-address answer came back; shown says whether the result box took it (it does
    // not once a lookup has started).
    void ownAddressSettled(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startOwnAddressFetch();
    void ownAddressArrived(const std::string& text);
    // One lookup of the typed address; its result replaces the result box's text.
    void onQueryClicked();
    // Downloads the offline database, then repeats the lookup.
    void onDownloadClicked();
    // A mouse click in the address box: the hint text goes.
    void onAddressClicked();

    Runner& m_runner;
    QLineEdit* m_addressEdit = nullptr;
    QPushButton* m_queryButton = nullptr;
    QPlainTextEdit* m_resultBox = nullptr;
    // Shown over the result box when a lookup of the current profile finds no offline database.
    QPushButton* m_downloadButton = nullptr;
    QAbstractButton* m_stopButton = nullptr;
    bool m_lookupStarted = false;
};

} // namespace kaldrani::gui
