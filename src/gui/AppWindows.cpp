#include "gui/AppWindows.h"

AppWindows::AppWindows(const kaldrani::records::DataFolder& folder)
{
    // A tool window joins with one line in its place in the order, e.g.
    // frmMail = attached(TfrmMain::ToolWindow::Mail, std::make_unique<TfrmMail>(folder));
    frmMain = std::make_unique<TfrmMain>(folder, *this);
    frmManiSite = std::make_unique<TfrmManiSite>(folder, frmMain.get());
    frmJilu = std::make_unique<TfrmJilu>(folder);
    frmAbout = std::make_unique<TfrmAbout>(frmMain.get());
    frmUpdate = std::make_unique<TfrmUpdate>();
}
