#include "SilentHost.h"
#include "StandinServer.h"
#include "core/net/ConnectTo.h"
#include "core/queries/Endpoints.h"
#include "core/records/DataFolder.h"
#include "gui/IP.h"
#include "gui/Jilu.h"
#include "gui/ManiSite.h"
#include "gui/about.h"
#include "gui/mainFrm.h"
#include "gui/updata.h"
#include "gui/whois.h"

#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

namespace {

using namespace kaldrani;

// How the IP service behaves while the program starts.
enum IpService { NoLookupWindows, Answering, Silent, Unreachable };

// From the first window made to the main window shown, every window made in the program's
// order. NoLookupWindows is the start-up without the two lookup windows, for comparison.
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
        auto main = std::make_unique<TfrmMain>(folder);
        auto maniSite = std::make_unique<TfrmManiSite>(folder);
        auto jilu = std::make_unique<TfrmJilu>(folder);
        std::unique_ptr<TfrmWhois> whois;
        std::unique_ptr<TfrmIP> ip;
        if (service != NoLookupWindows) {
            whois = std::make_unique<TfrmWhois>(folder);
            main->attachToolWindow(TfrmMain::ToolWindow::Whois, whois.get());
            ip = std::make_unique<TfrmIP>();
            main->attachToolWindow(TfrmMain::ToolWindow::IP, ip.get());
        }
        auto about = std::make_unique<TfrmAbout>();
        auto update = std::make_unique<TfrmUpdate>();
        main->show();
        const bool shown = QTest::qWaitForWindowExposed(main.get());
        state.PauseTiming();
        update.reset();
        about.reset();
        ip.reset();
        whois.reset();
        jilu.reset();
        maniSite.reset();
        main.reset();
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
    ->Arg(NoLookupWindows)
    ->Arg(Answering)
    ->Arg(Silent)
    ->Arg(Unreachable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
