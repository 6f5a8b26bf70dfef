#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"
#include "gui/Icons.h"

#include <iostream>
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

    AppWindows windows(folder);
    windows.frmMain->show();
    return QApplication::exec();
}
