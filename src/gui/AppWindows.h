#pragma once

#include "core/records/DataFolder.h"
#include "gui/Jilu.h"
#include "gui/ManiSite.h"
#include "gui/about.h"
#include "gui/mainFrm.h"
#include "gui/updata.h"

#include <memory>

// The program's windows, made once in start-up order (main, mail, keyword, site manager,
// history, whois, IP, about, update) and destroyed in reverse. Each window gets what it
// needs through its constructor; the main window reads the others from here when a
// button or tray item asks for one.
class AppWindows {
public:
    // Creates every window hidden, each running its creation handler as it is made.
    explicit AppWindows(const kaldrani::records::DataFolder& folder);
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<TfrmManiSite> frmManiSite;
    std::unique_ptr<TfrmJilu> frmJilu;
    std::unique_ptr<TfrmAbout> frmAbout;
    std::unique_ptr<TfrmUpdate> frmUpdate;

private:
    // Hands a later tool's window to the main window, which enables its toolbar button.
    template <class Window>
    std::unique_ptr<Window> attached(TfrmMain::ToolWindow which, std::unique_ptr<Window> window)
    {
        frmMain->attachToolWindow(which, window.get());
        return window;
    }
};
