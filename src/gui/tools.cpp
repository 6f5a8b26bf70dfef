#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "gui/ErrorBox.h"
#include "gui/Icons.h"
#include "gui/Jilu.h"
#include "gui/KeyWord.h"
#include "gui/ManiSite.h"
#include "gui/about.h"
#include "gui/mainFrm.h"
#include "gui/updata.h"

#include <iostream>
#include <memory>
#include <stdexcept>

using namespace kaldrani;

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    // Windows are hidden, not closed; only the tray menu's quit item ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Kaldrani"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kaldrani"));
    QApplication::setWindowIcon(gui::appIcon());

    try {
        net::loadConnectToFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::cerr << "kaldrani: KALDRANI_CONNECT_TO: " << e.what() << "\n";
        showApplicationError(QStringLiteral("KALDRANI_CONNECT_TO: ") + QString::fromUtf8(e.what()));
        return 2;
    }

    const records::DataFolder folder(records::DataFolder::defaultBase());

    // Created once, in this order, each running its creation handler as it is made.
    auto main = std::make_unique<TfrmMain>(folder);
    frmMain = main.get();
    auto keyWord = std::make_unique<TfrmKeyWord>(folder);
    frmKeyWord = keyWord.get();
    frmMain->attachToolWindow(TfrmMain::ToolWindow::KeyWord, frmKeyWord);
    auto maniSite = std::make_unique<TfrmManiSite>(folder);
    frmManiSite = maniSite.get();
    auto jilu = std::make_unique<TfrmJilu>(folder);
    frmJilu = jilu.get();
    auto about = std::make_unique<TfrmAbout>();
    frmAbout = about.get();
    auto update = std::make_unique<TfrmUpdate>();
    frmUpdate = update.get();

    frmMain->show();
    const int status = QApplication::exec();
    frmAbout = nullptr;
    return status;
}
