#include "gui/HistoryTrendAccess.h"

#include "core/records/History.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryCsvExport.h"
#include "gui/HistoryWindow.h"
#include "gui/ToolWindow.h"
#include "gui/TrendLoader.h"

#include <QListWidget>
#include <QMenu>
#include <QTableView>

namespace kaldrani::gui {

namespace {

ToolWindow* trendWindow(HistoryWindow* history, const kaldrani::records::DataFolder& folder)
{
    if (auto* existing = trendWindowOf(history))
        return existing;
    // A window of its own that lives as long as the history window.
    return createTrendWindow(folder, history);
}

void exportSite(HistoryWindow* history, const kaldrani::records::DataFolder& folder, const QString& site)
{
    std::vector<std::vector<std::string>> records;
    try {
        records = kaldrani::records::ReadHistory(folder, site.toStdString());
    } catch (const kaldrani::records::FileError&) {
        // Never queried: the file holds the header row alone.
    }
    exportHistoryCsv(history, site, records);
}

// A menu for one site; popped up rather than run, so the window keeps answering.
void popUpSiteMenu(HistoryWindow* history, const kaldrani::records::DataFolder& folder, const QString& site,
                   const QPoint& globalPos)
{
    auto* menu = new QMenu(history);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("trendMenu"));
    QAction* chart = menu->addAction(QStringLiteral("查看趋势图"));
    QAction* csv = menu->addAction(QStringLiteral("导出 CSV…"));
    QObject::connect(chart, &QAction::triggered, history, [history, folder, site] {
        runHandler([&] { showTrendSite(trendWindow(history, folder), site); }, history);
    });
    QObject::connect(csv, &QAction::triggered, history, [history, folder, site] {
        runHandler([&] { exportSite(history, folder, site); }, history);
    });
    menu->popup(globalPos);
}

} // namespace

ToolWindow* trendWindowOf(const HistoryWindow* history)
{
    return history->findChild<ToolWindow*>(QStringLiteral("trendWindow"), Qt::FindDirectChildrenOnly);
}

void attachTrendAccess(HistoryWindow* history, const kaldrani::records::DataFolder& folder)
{
    QListWidget* list = history->m_siteList;
    list->setToolTip(QStringLiteral("双击站点查看趋势图；右键可查看趋势图或导出 CSV"));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QListWidget::itemDoubleClicked, history, [history, folder](QListWidgetItem* item) {
        const QString site = item->text();
        runHandler([&] { showTrendSite(trendWindow(history, folder), site); }, history);
    });
    QObject::connect(list, &QWidget::customContextMenuRequested, history, [history, folder, list](const QPoint& pos) {
        if (const QListWidgetItem* item = list->itemAt(pos))
            popUpSiteMenu(history, folder, item->text(), list->viewport()->mapToGlobal(pos));
    });

    QTableView* grid = history->m_grid;
    grid->setToolTip(QStringLiteral("右键可查看此站点的趋势图或导出 CSV"));
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, history, [history, folder, grid](const QPoint& pos) {
        if (!history->shownSite().isEmpty())
            popUpSiteMenu(history, folder, history->shownSite(), grid->viewport()->mapToGlobal(pos));
    });
}

} // namespace kaldrani::gui
