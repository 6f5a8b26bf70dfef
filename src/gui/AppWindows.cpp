#include "gui/AppWindows.h"

namespace kaldrani::gui {

AppWindows::AppWindows(const kaldrani::records::DataFolder& folder)
{
    frmMain = std::make_unique<TfrmMain>(runner, folder, *this);
    frmMail = std::make_unique<TfrmMail>(runner);
    frmKeyWord = std::make_unique<TfrmKeyWord>(runner, folder);
    frmManiSite = std::make_unique<TfrmManiSite>(folder, frmMain.get());
    frmJilu = std::make_unique<TfrmJilu>(folder);
    frmWhois = std::make_unique<TfrmWhois>(runner, folder);
    frmIP = std::make_unique<TfrmIP>(runner);
    frmAbout = std::make_unique<TfrmAbout>(frmMain.get());
    frmUpdate = std::make_unique<TfrmUpdate>();
}

AppWindows::~AppWindows()
{
    runner.stop();
}

QWidget* AppWindows::window(kaldrani::gui::WindowId id) const
{
    using kaldrani::gui::WindowId;
    switch (id) {
    case WindowId::Main: return frmMain.get();
    case WindowId::Mail: return frmMail.get();
    case WindowId::KeyWord: return frmKeyWord.get();
    case WindowId::ManiSite: return frmManiSite.get();
    case WindowId::Jilu: return frmJilu.get();
    case WindowId::Whois: return frmWhois.get();
    case WindowId::IP: return frmIP.get();
    case WindowId::About: return frmAbout.get();
    case WindowId::Update: return frmUpdate.get();
    }
    return nullptr;
}

} // namespace kaldrani::gui
