#pragma once

#include "core/records/History.h"

#include <QAbstractTableModel>
#include <QString>

#include <string>
#include <vector>

namespace kaldrani::gui {

// The history grid's cells, addressed as the grid addresses them: cell(col, row), row 0
// and column 0 being the fixed headings. The view sees rows 1..1000 and columns 1..12 as
// data and row 0 / column 0 as its header sections, so the headings stay put on scrolling.
class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The number column, then one per field of a history record.
    static constexpr int ColCount = 1 + static_cast<int>(kaldrani::records::kHistoryFieldCount);
    static constexpr int RowCount = 1001;

    explicit HistoryTableModel(QObject* parent = nullptr);

    // The cell's text; empty outside the grid.
    QString cell(int col, int row) const;
    // Sets one cell; a position outside the grid is ignored.
    void setCell(int col, int row, const QString& text);
    // Empties columns 1..12 of rows 1..1000, with one change notification.
    void clearData();
    // Record k (from 0) goes into row k + 1, its field j (from 0) into column j + 1; cells
    // past a short record keep their text, fields and records past the grid are dropped.
    void putRecords(const std::vector<std::vector<std::string>>& records);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QString& at(int col, int row) { return m_cells[static_cast<size_t>(row) * ColCount + col]; }
    const QString& at(int col, int row) const { return m_cells[static_cast<size_t>(row) * ColCount + col]; }
    void announce(int col, int row);

    std::vector<QString> m_cells;
};

} // namespace kaldrani::gui
