#include "gui/AppWindows.h"

AppWindows::AppWindows(const kaldrani::records::DataFolder& folder)
{
    // A tool window joins with one line in its place in the order, e.g.
    // frmMail = attached(TfrmMain::ToolWindow::Mail, std::make_unique<TfrmMail>(folder));
    frmMain = std::make_unique<TfrmMain>(folder, *this);
    frmMail = attached(TfrmMain::ToolWindow::Mail, std::make_unique<TfrmMail>());
    frmKeyWord = attached(TfrmMain::ToolWindow::KeyWord, std::make_unique<TfrmKeyWord>(folder));
    frmManiSite = std::make_unique<TfrmManiSite>(folder, frmMain.get());
    frmJilu = std::make_unique<TfrmJilu>(folder);
    frmWhois = attached(TfrmMain::ToolWindow::Whois, std::make_unique<TfrmWhois>(folder));
    frmIP = attached(TfrmMain::ToolWindow::IP, std::make_unique<TfrmIP>());
    frmAbout = std::make_unique<TfrmAbout>(frmMain.get());
    frmUpdate = std::make_unique<TfrmUpdate>();
}
