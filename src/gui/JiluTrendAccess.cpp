#include "gui/JiluTrendAccess.h"

#include "core/records/History.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryCsvExport.h"
#include "gui/Jilu.h"
#include "gui/ToolWindow.h"
#include "gui/TrendLoader.h"

#include <QListWidget>
#include <QMenu>
#include <QTableView>

namespace kaldrani::gui {

namespace {

ToolWindow* trendWindow(TfrmJilu* jilu, const kaldrani::records::DataFolder& folder)
{
    if (auto* existing = trendWindowOf(jilu))
        return existing;
    // A window of its own that lives as long as the history window.
    return createTrendWindow(folder, jilu);
}

void exportSite(TfrmJilu* jilu, const kaldrani::records::DataFolder& folder, const QString& site)
{
    std::vector<std::vector<std::string>> records;
    try {
        records = kaldrani::records::ReadHistory(folder, site.toStdString());
    } catch (const kaldrani::records::FileError&) {
        // Never queried: the file holds the header row alone.
    }
    exportHistoryCsv(jilu, site, records);
}

// A menu for one site; popped up rather than run, so the window keeps answering.
void popUpSiteMenu(TfrmJilu* jilu, const kaldrani::records::DataFolder& folder, const QString& site,
                   const QPoint& globalPos)
{
    auto* menu = new QMenu(jilu);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("trendMenu"));
    QAction* chart = menu->addAction(QStringLiteral("查看趋势图"));
    QAction* csv = menu->addAction(QStringLiteral("导出 CSV…"));
    QObject::connect(chart, &QAction::triggered, jilu, [jilu, folder, site] {
        runHandler([&] { showTrendSite(trendWindow(jilu, folder), site); }, jilu);
    });
    QObject::connect(csv, &QAction::triggered, jilu, [jilu, folder, site] {
        runHandler([&] { exportSite(jilu, folder, site); }, jilu);
    });
    menu->popup(globalPos);
}

} // namespace

ToolWindow* trendWindowOf(const TfrmJilu* jilu)
{
    return jilu->findChild<ToolWindow*>(QStringLiteral("trendWindow"), Qt::FindDirectChildrenOnly);
}

void attachTrendAccess(TfrmJilu* jilu, const kaldrani::records::DataFolder& folder)
{
    QListWidget* list = jilu->urlList;
    list->setToolTip(QStringLiteral("双击站点查看趋势图；右键可查看趋势图或导出 CSV"));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QListWidget::itemDoubleClicked, jilu, [jilu, folder](QListWidgetItem* item) {
        const QString site = item->text();
        runHandler([&] { showTrendSite(trendWindow(jilu, folder), site); }, jilu);
    });
    QObject::connect(list, &QWidget::customContextMenuRequested, jilu, [jilu, folder, list](const QPoint& pos) {
        if (const QListWidgetItem* item = list->itemAt(pos))
            popUpSiteMenu(jilu, folder, item->text(), list->viewport()->mapToGlobal(pos));
    });

    QTableView* grid = jilu->sgLishi;
    grid->setToolTip(QStringLiteral("右键可查看此站点的趋势图或导出 CSV"));
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, jilu, [jilu, folder, grid](const QPoint& pos) {
        if (!jilu->shownSite().isEmpty())
            popUpSiteMenu(jilu, folder, jilu->shownSite(), grid->viewport()->mapToGlobal(pos));
    });
}

} // namespace kaldrani::gui
