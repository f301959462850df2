#include "preferences/PreferencesTableModel.h"

#include <QMimeData>

namespace plimsy {

PreferencesTableModel::PreferencesTableModel(QList<PreferencesTableColumn> columns, MoveHandler onMove, QObject *parent)
    : QAbstractTableModel(parent)
    , m_columns(std::move(columns))
    , m_onMove(std::move(onMove))
{
}

bool PreferencesTableModel::setRows(QList<PreferencesTableRow> rows)
{
    if (rows == m_rows) {
        return false;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    return true;
}

int PreferencesTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PreferencesTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant PreferencesTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const PreferencesTableRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() < row.cells.size() ? row.cells.at(index.column()) : QString();
    case Qt::DecorationRole:
        return index.column() == 0 && !row.icon.isNull() ? QVariant(row.icon) : QVariant();
    default:
        return {};
    }
}

QVariant PreferencesTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns.size()) {
        return {};
    }
    return m_columns.at(section).title;
}

Qt::ItemFlags PreferencesTableModel::flags(const QModelIndex &index) const
{
    // The list itself takes drops, in the gaps between rows; rows are never drop targets themselves.
    if (!index.isValid()) {
        return canMove() ? Qt::ItemIsDropEnabled : Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (canMove()) {
        flags |= Qt::ItemIsDragEnabled;
    }
    return flags;
}

Qt::DropActions PreferencesTableModel::supportedDragActions() const
{
    return canMove() ? Qt::MoveAction : Qt::IgnoreAction;
}

Qt::DropActions PreferencesTableModel::supportedDropActions() const
{
    return canMove() ? Qt::MoveAction : Qt::IgnoreAction;
}

QStringList PreferencesTableModel::mimeTypes() const
{
    return {QString::fromLatin1(PreferencesTableRowMimeType)};
}

QMimeData *PreferencesTableModel::mimeData(const QModelIndexList &indexes) const
{
    if (!canMove() || indexes.isEmpty() || !indexes.first().isValid()) {
        return nullptr;
    }
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(PreferencesTableRowMimeType), QByteArray::number(indexes.first().row()));
    return data;
}

bool PreferencesTableModel::canDropMimeData(
    const QMimeData *data, Qt::DropAction action, int, int, const QModelIndex &parent) const
{
    return canMove() && action == Qt::MoveAction && !parent.isValid() && draggedRow(data).has_value();
}

bool PreferencesTableModel::dropMimeData(
    const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    const int source = *draggedRow(data);
    const int gap = row < 0 ? rowCount() : row;
    // The index the row has once it is out of its old place.
    const int destination = source < gap ? gap - 1 : gap;
    if (source == destination) {
        return false;
    }
    m_onMove(source, destination);
    return true;
}

std::optional<int> PreferencesTableModel::draggedRow(const QMimeData *data) const
{
    if (!data) {
        return std::nullopt;
    }
    bool ok = false;
    const int row = QString::fromLatin1(data->data(QString::fromLatin1(PreferencesTableRowMimeType))).toInt(&ok);
    return ok ? std::optional<int>(row) : std::nullopt;
}

} // namespace plimsy
