#pragma once

#include "core/records/DataFolder.h"
#include "core/records/FileStamp.h"
#include "gui/ErrorBox.h"
#include "gui/ToolWindow.h"

class QListWidget;
class QScrollBar;
class QTableView;

namespace kaldrani::gui {

class HistoryTableModel;

// The query history window: the site list, and the picked site's records newest first.
class HistoryWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden), loads the site list and sets the grid up.
    explicit HistoryWindow(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // The grid's cells, cell(col, row) with row 0 and column 0 the headings.
    HistoryTableModel* cells() const { return m_cells; }

    // The site whose records the grid holds; empty when it holds none.
    const QString& shownSite() const { return m_shownSite; }

protected:
    bool event(QEvent* event) override;

private:
    // The trend chart and the export hang on the list and the grid.
    friend void attachTrendAccess(HistoryWindow* history, const kaldrani::records::DataFolder& folder);

    void initialise();
    // Sets the grid up: column widths, the headings in row 0, the numbers 1..1000 in column 0.
    void initialiseGrid();
    // Empties columns 1..12 of rows 1..1000; headings and numbers stay.
    void clearGrid();
    void onActivated();
    void onSiteClicked();
    void loadSiteList();
    void linkScrollBar(QScrollBar* own, QScrollBar* shown);

    kaldrani::records::DataFolder m_folder;
    kaldrani::records::FileWatch m_siteListWatch{m_folder.siteListPath()};
    QListWidget* m_siteList = nullptr;
    QTableView* m_grid = nullptr;
    // The grid's own bars are hidden; these two stand at the window's layout positions.
    QScrollBar* m_gridHorizontalBar = nullptr;
    QScrollBar* m_gridVerticalBar = nullptr;
    HistoryTableModel* m_cells = nullptr;
    bool m_loadingList = false;
    QString m_shownSite;
};

} // namespace kaldrani::gui
