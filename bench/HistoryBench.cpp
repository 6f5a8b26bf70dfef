#include "core/records/DataFolder.h"
#include "gui/HistoryTableModel.h"
#include "gui/HistoryWindow.h"

#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace kaldrani::gui;

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// One click on a site of 1000 records: the grid is emptied, the file read and the rows
// filled; then the visible part of the grid is painted, as the user would see it.
void BM_HistoryClickSiteOf1000Records(benchmark::State& state)
{
    QTemporaryDir dir;
    const kaldrani::records::DataFolder folder(dir.path().toStdString());
    fs::create_directories(folder.historyFolder());
    writeFile(folder.siteListPath(), "example.com\r\n");
    std::string history;
    for (int n = 1; n <= 1000; ++n)
        history += std::to_string(8300 + n) + "/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23,640,0,2010-1-6 7:36:31\r\n";
    writeFile(folder.historyPath("example.com"), history);

    HistoryWindow w(folder);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    auto* list = w.findChild<QListWidget*>(QStringLiteral("siteList"));
    auto* grid = w.findChild<QTableView*>(QStringLiteral("historyGrid"));
    if (!list || !grid) {
        state.SkipWithError("the window has no site list or grid");
        return;
    }
    QListWidgetItem* item = list->item(0);
    const QPoint at = list->visualItemRect(item).center();
    for (auto _ : state) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        grid->viewport()->repaint();
        if (w.cells()->cell(1, 1000).isEmpty()) {
            state.SkipWithError("the grid was not filled");
            return;
        }
    }
}
BENCHMARK(BM_HistoryClickSiteOf1000Records)->Unit(benchmark::kMillisecond);

} // namespace
