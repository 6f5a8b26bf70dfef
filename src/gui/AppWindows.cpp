#include "gui/AppWindows.h"

#include <QApplication>
#include <QEvent>

namespace kaldrani::gui {

namespace {

// Makes the remaining windows before the first input event is handled, so a click or key
// that arrives between the first paint and their making finds them all.
class InputGate : public QObject {
public:
    explicit InputGate(AppWindows& windows) : m_windows(windows) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::ContextMenu:
            // Deletes this gate; the event goes on to its receiver.
            m_windows.completeWindows();
            break;
        default:
            break;
        }
        return false;
    }

private:
    AppWindows& m_windows;
};

} // namespace

AppWindows::AppWindows(const kaldrani::records::DataFolder& folder, Making making) : m_folder(folder)
{
    mainWindow = std::make_unique<MainWindow>(runner, folder, *this);
    if (making == Making::AllNow)
        completeWindows();
    else
        m_inputGate = std::make_unique<InputGate>(*this);
}

void AppWindows::completeWindows()
{
    if (updateNotice)
        return;
    mailWindow = std::make_unique<MailWindow>(runner);
    keywordWindow = std::make_unique<KeywordWindow>(runner, m_folder);
    siteListWindow = std::make_unique<SiteListWindow>(m_folder, mainWindow.get());
    historyWindow = std::make_unique<HistoryWindow>(m_folder);
    whoisWindow = std::make_unique<WhoisWindow>(runner, m_folder);
    ipWindow = std::make_unique<IpWindow>(runner);
    aboutWindow = std::make_unique<AboutWindow>(mainWindow.get());
    updateNotice = std::make_unique<UpdateNotice>();
    // Removed last, and deleted later: it may be the caller, from inside its own filter.
    if (m_inputGate) {
        qApp->removeEventFilter(m_inputGate.get());
        m_inputGate.release()->deleteLater();
    }
}

AppWindows::~AppWindows()
{
    runner.stop();
}

QWidget* AppWindows::window(kaldrani::gui::WindowId id)
{
    completeWindows();
    using kaldrani::gui::WindowId;
    switch (id) {
    case WindowId::Main: return mainWindow.get();
    case WindowId::Mail: return mailWindow.get();
    case WindowId::Keyword: return keywordWindow.get();
    case WindowId::SiteList: return siteListWindow.get();
    case WindowId::History: return historyWindow.get();
    case WindowId::Whois: return whoisWindow.get();
    case WindowId::Ip: return ipWindow.get();
    case WindowId::About: return aboutWindow.get();
    case WindowId::Update: return updateNotice.get();
    }
    return nullptr;
}

} // namespace kaldrani::gui
