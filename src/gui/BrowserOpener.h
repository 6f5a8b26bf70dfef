#pragma once

#include <QString>

namespace kaldrani::gui {

// Opens an address in the desktop's web browser without waiting; failures are not reported.
class BrowserOpener {
public:
    virtual ~BrowserOpener() = default;
    virtual void open(const QString& url) = 0;
};

// Starts xdg-open with the address as its one argument, in a process started without a
// shell, so no character of the address is interpreted.
class XdgOpenBrowser final : public BrowserOpener {
public:
    void open(const QString& url) override;
};

// Replaces the opener every window uses (tests record the addresses); nullptr restores
// xdg-open. The caller keeps ownership.
void setBrowserOpener(BrowserOpener* opener);

// Opens the address through the current opener.
void openInBrowser(const QString& url);

} // namespace kaldrani::gui
