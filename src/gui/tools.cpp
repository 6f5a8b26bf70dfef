#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"
#include "gui/FirstPaint.h"
#include "gui/Icons.h"
#include "gui/SingleInstance.h"
#include "gui/StartupProbe.h"
#include "kaldrani/Version.h"

#include <iostream>
#include <stdexcept>
#include <string_view>

using namespace kaldrani::gui;

using namespace kaldrani;

int main(int argc, char** argv)
{
    // Answered before the application starts, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << "kaldrani " << kVersion << "\n";
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: kaldrani [--version] [--help] [Qt options such as -platform NAME]\n"
                         "Opens the Kaldrani windows; a second start brings the running one to the front.\n";
            return 0;
        }
    }

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

    // Before any window touches the files: a second program hands over to the first.
    SingleInstance instance(folder.base());
    if (!instance.claim())
        return 0;

    // The user sees the main window before the other windows are made; they are all made
    // before the first input is handled.
    AppWindows windows(folder, AppWindows::Making::MainFirst);
    QObject::connect(&instance, &SingleInstance::activationRequested, windows.frmMain.get(), &TfrmMain::N6Click);
    windows.frmMain->show();
    afterFirstPaint(windows.frmMain.get(), [&windows] {
        reportShownIfProbed();
        windows.completeWindows();
        quitIfProbed();
    });
    return QApplication::exec();
}
