#include "core/records/DataFolder.h"
#include "gui/TrendWindow.h"

#include <QLineSeries>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace kaldrani::gui;

namespace {

// 1000 records a day apart, the odd failure text among them; the file's bytes.
std::string thousandRecords()
{
    std::string history;
    for (int n = 0; n < 1000; ++n) {
        const int day = n % 28 + 1, month = n / 28 % 12 + 1, year = 2008 + n / 336;
        history += std::to_string(8300 + n) + "/45,880/12,0/0," + (n % 50 ? std::to_string(97 + n) : "0")
                   + "/3,156/0,40/0,311/8,4,23," + (n % 13 ? std::to_string(90000 - n * 40) : "\xb2\xe9\xd1\xaf\xca\xa7\xb0\xdc")
                   + ",0," + std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day)
                   + " 7:36:31\r\n";
    }
    return history;
}

struct TrendFixture {
    TrendFixture() : folder(dir.path().toStdString())
    {
        std::filesystem::create_directories(folder.historyFolder());
        std::ofstream(folder.historyPath("example.com"), std::ios::binary) << thousandRecords();
    }
    // Shows the site in w; false, with the benchmark skipped, when the window stays unseen.
    static bool shown(TrendWindow& w, benchmark::State& state)
    {
        w.showSite(QStringLiteral("example.com"));
        if (QTest::qWaitForWindowExposed(&w))
            return true;
        state.SkipWithError("the window was not shown");
        return false;
    }

    QTemporaryDir dir;
    kaldrani::records::DataFolder folder;
};

// Opening the chart of a site of 1000 records: the file read, the curves built, both
// charts painted.
void BM_TrendShowSiteOf1000Records(benchmark::State& state)
{
    TrendFixture f;
    TrendWindow w(f.folder);
    if (!f.shown(w, state))
        return;
    for (auto _ : state) {
        w.showSite(QStringLiteral("example.com"));
        w.repaint();
    }
    if (w.countSeries(kaldrani::SearchEngine::Baidu)->count() != 1000)
        state.SkipWithError("the curves were not filled");
}
BENCHMARK(BM_TrendShowSiteOf1000Records)->Unit(benchmark::kMillisecond);

// Switching between indexed pages and backlinks on 1000 records, painted.
void BM_TrendSwitchKindOf1000Records(benchmark::State& state)
{
    TrendFixture f;
    TrendWindow w(f.folder);
    if (!f.shown(w, state))
        return;
    auto* indexed = w.findChild<QRadioButton*>(QStringLiteral("indexedButton"));
    auto* backlinksButton = w.findChild<QRadioButton*>(QStringLiteral("backlinksButton"));
    if (!indexed || !backlinksButton) {
        state.SkipWithError("the window has no kind buttons");
        return;
    }
    bool backlinks = false;
    for (auto _ : state) {
        backlinks = !backlinks;
        (backlinks ? backlinksButton : indexed)->setChecked(true);
        w.repaint();
    }
}
BENCHMARK(BM_TrendSwitchKindOf1000Records)->Unit(benchmark::kMillisecond);

} // namespace
