#include "gui/HistoryTableModel.h"

#include <algorithm>

namespace kaldrani::gui {

HistoryTableModel::HistoryTableModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_cells(static_cast<size_t>(RowCount) * ColCount)
{
}

QString HistoryTableModel::cell(int col, int row) const
{
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount)
        return {};
    return at(col, row);
}

void HistoryTableModel::setCell(int col, int row, const QString& text)
{
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount)
        return;
    at(col, row) = text;
    announce(col, row);
}

void HistoryTableModel::announce(int col, int row)
{
    if (row == 0 && col == 0)
        return; // the corner is drawn from cell(0, 0) on every paint
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
    else if (col == 0)
        emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
    else
        emit dataChanged(index(row - 1, col - 1), index(row - 1, col - 1), { Qt::DisplayRole });
}

void HistoryTableModel::clearData()
{
    for (int row = 1; row < RowCount; ++row)
        for (int col = 1; col < ColCount; ++col)
            at(col, row).clear();
    emit dataChanged(index(0, 0), index(RowCount - 2, ColCount - 2), { Qt::DisplayRole });
}

void HistoryTableModel::putRecords(const std::vector<std::vector<std::string>>& records)
{
    const int rows = static_cast<int>(std::min<size_t>(records.size(), RowCount - 1));
    for (int k = 0; k < rows; ++k) {
        const auto& fields = records[static_cast<size_t>(k)];
        const int cols = static_cast<int>(std::min<size_t>(fields.size(), ColCount - 1));
        for (int j = 0; j < cols; ++j) {
            const std::string& field = fields[static_cast<size_t>(j)];
            at(j + 1, k + 1) = QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
        }
    }
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, ColCount - 2), { Qt::DisplayRole });
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount - 1;
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColCount - 1;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return cell(index.column() + 1, index.row() + 1);
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return orientation == Qt::Horizontal ? cell(section + 1, 0) : cell(0, section + 1);
}

Qt::ItemFlags HistoryTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace kaldrani::gui
