#include "core/records/DataFolder.h"
#include "gui/HistoryTableModel.h"
#include "gui/Jilu.h"

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
void BM_JiluClickSiteOf1000Records(benchmark::State& state)
{
    QTemporaryDir dir;
    const kaldrani::records::DataFolder folder(dir.path().toStdString());
    fs::create_directories(folder.historyFolder());
    writeFile(folder.siteListPath(), "example.com\r\n");
    std::string history;
    for (int n = 1; n <= 1000; ++n)
        history += std::to_string(8300 + n) + "/45,880/12,0/0,97/3,156/0,40/0,311/8,4,23,640,0,2010-1-6 7:36:31\r\n";
    writeFile(folder.historyPath("example.com"), history);

    TfrmJilu w(folder);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    QListWidgetItem* item = w.urlList->item(0);
    const QPoint at = w.urlList->visualItemRect(item).center();
    for (auto _ : state) {
        QTest::mouseClick(w.urlList->viewport(), Qt::LeftButton, {}, at);
        w.sgLishi->viewport()->repaint();
        if (w.cells()->cell(1, 1000).isEmpty()) {
            state.SkipWithError("the grid was not filled");
            return;
        }
    }
}
BENCHMARK(BM_JiluClickSiteOf1000Records)->Unit(benchmark::kMillisecond);

} // namespace
