#pragma once

#include "core/records/DataFolder.h"
#include "gui/AboutWindow.h"
#include "gui/HistoryWindow.h"
#include "gui/IpWindow.h"
#include "gui/KeywordWindow.h"
#include "gui/MailWindow.h"
#include "gui/MainWindow.h"
#include "gui/Runner.h"
#include "gui/SiteListWindow.h"
#include "gui/UpdateNotice.h"
#include "gui/WhoisWindow.h"
#include "gui/WindowId.h"

#include <memory>

namespace kaldrani::gui {

// The program's windows, made once in start-up order (main, mail, keyword, site manager,
// history, whois, IP, about, update) and destroyed in reverse, and the runner their network
// waits go to. Each window gets what it needs through its constructor; the main window
// asks here for a window by its id when a button or tray item wants one shown.
class AppWindows {
public:
    enum class Making {
        AllNow,    // every window in the constructor
        MainFirst, // the main window in the constructor, the rest by completeWindows()
    };
    // Creates the windows hidden, each running its creation handler as it is made. With
    // MainFirst the main window can be shown and painted before the others are made; they
    // are made, in the same order, by completeWindows(), by the first window(id) call, or
    // before the first input event reaches the application, whichever comes first.
    explicit AppWindows(const kaldrani::records::DataFolder& folder, Making making = Making::AllNow);
    // Waits for every run first: a run may still report to the windows.
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    // Makes every window not made yet, in start-up order. Safe to call again.
    void completeWindows();

    // The window with that id, made first when it was not yet; never null.
    QWidget* window(WindowId id);

    Runner runner;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<MailWindow> mailWindow;
    std::unique_ptr<KeywordWindow> keywordWindow;
    std::unique_ptr<SiteListWindow> siteListWindow;
    std::unique_ptr<HistoryWindow> historyWindow;
    std::unique_ptr<WhoisWindow> whoisWindow;
    std::unique_ptr<IpWindow> ipWindow;
    std::unique_ptr<AboutWindow> aboutWindow;
    std::unique_ptr<UpdateNotice> updateNotice;

private:
    const kaldrani::records::DataFolder m_folder;
    // Catches the first input while windows are still to be made; gone once they are.
    std::unique_ptr<QObject> m_inputGate;
};

} // namespace kaldrani::gui
