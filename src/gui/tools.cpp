#include "core/net/ConnectTo.h"
#include "core/fetch/QueryFetch.h"
#include "core/profiles/ActiveProfile.h"
#include "core/records/DataFolder.h"
#include "gui/AppWindows.h"
#include "gui/ErrorBox.h"
#include "gui/FirstPaint.h"
#include "gui/Icons.h"
#include "gui/SingleInstance.h"
#include "gui/StartupProbe.h"
#include "kaldrani/Version.h"

#include <QMessageBox>

#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string_view>

using namespace kaldrani::gui;

using namespace kaldrani;

namespace {

// Says once, without stopping start-up, what in the user's engine profile was not taken.
void showProfileProblems(const std::vector<profiles::Problem>& problems)
{
    QString text = QStringLiteral("引擎配置文件中有以下问题，这些设置仍使用默认值：\n");
    for (const profiles::Problem& problem : problems) {
        std::cerr << "kaldrani: " << problem.text() << "\n";
        text += QStringLiteral("\n") + QString::fromStdString(problem.text());
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kaldrani"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace

int main(int argc, char** argv)
{
    // A peer that closes mid-write fails that write (EPIPE), never the whole program: TLS
    // writes cannot ask the kernel for MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    // Answered before the application starts, so they work without a display.
    bool showHistory = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--show-history")
            showHistory = true;
        if (arg == "--version") {
            std::cout << "kaldrani " << kVersion << "\n";
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: kaldrani [--show-history] [--version] [--help] [Qt options such as -platform NAME]\n"
                         "Opens the Kaldrani windows; a second start brings the running one to the front.\n"
                         "--show-history opens the history window too (what a click on a tracking notice does).\n";
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
    if (!instance.claim(showHistory ? SingleInstance::Request::ShowHistory : SingleInstance::Request::ShowMain))
        return 0;

    // Before any window asks a service; a fault is named once and its key keeps the default.
    std::vector<profiles::Problem> profileProblems = profiles::useUserProfile();
    // The environment's proxies and the file's top-level one; the file's, when bad, is
    // named with the other problems and left out.
    try {
        fetch::useProxySettings(std::nullopt);
    } catch (const std::invalid_argument& e) {
        profileProblems.push_back({profiles::activeProfile()->userFile, 0, "proxy", e.what()});
        fetch::useProxySettings(std::string());
    }

    // The user sees the main window before the other windows are made; they are all made
    // before the first input is handled.
    AppWindows windows(folder, AppWindows::Making::MainFirst);
    QObject::connect(&instance, &SingleInstance::activationRequested, windows.mainWindow.get(), &MainWindow::bringToFront);
    QObject::connect(&instance, &SingleInstance::historyRequested, windows.mainWindow.get(),
                     &MainWindow::showHistoryWindow);
    windows.mainWindow->show();
    afterFirstPaint(windows.mainWindow.get(), [&windows, showHistory] {
        reportShownIfProbed();
        windows.completeWindows();
        if (showHistory)
            windows.mainWindow->showHistoryWindow();
        quitIfProbed();
    });
    if (!profileProblems.empty())
        showProfileProblems(profileProblems);
    return QApplication::exec();
}
