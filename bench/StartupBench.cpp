#include "SilentHost.h"
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
#include "core/records/DataFolder.h"
#include "gui/AppWindows.h"

#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

using namespace kaldrani::gui;

namespace {

using namespace kaldrani;

// How the IP service behaves while the program starts.
enum IpService { Answering, Silent, Unreachable };

// From the first window made to the main window shown: every window, in the program's
// order, as the program makes them. Answering is the peer the other two are read against.
void BM_StartupToMainWindowShown(benchmark::State& state)
{
    const auto service = static_cast<IpService>(state.range(0));
    QTemporaryDir dir;
    const records::DataFolder folder(dir.path().toStdString());
    records::EnsureDataFolder(folder);
    records::saveSiteList(folder, "example.com\r\nkaldrani-demo.cn\r\n");

    standin::StandinServer server;
    std::optional<kaldrani::testing::SilentHost> unreachable;
    if (service == Silent) {
        standin::Response silent;
        silent.delayMs = 600000;
        server.setAnswer(endpoints::kMaker, "/ip/data/", silent);
    }
    if (service == Unreachable)
        unreachable.emplace();
    net::clearConnectToRules();
    net::addConnectToRules(
        {{"", "", "127.0.0.1", std::to_string(service == Unreachable ? unreachable->port() : server.port())}});
    setSystemTrayAvailableOverride(true);

    for (auto _ : state) {
        auto windows = std::make_unique<AppWindows>(folder);
        windows->mainWindow->show();
        const bool shown = QTest::qWaitForWindowExposed(windows->mainWindow.get());
        state.PauseTiming();
        windows.reset();
        QCoreApplication::processEvents();
        if (!shown) {
            state.SkipWithError("the main window was not shown");
            break;
        }
        state.ResumeTiming();
    }
    setSystemTrayAvailableOverride(std::nullopt);
    net::clearConnectToRules();
}
BENCHMARK(BM_StartupToMainWindowShown)
    ->ArgName("ipService")
    ->Arg(Answering)
    ->Arg(Silent)
    ->Arg(Unreachable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
