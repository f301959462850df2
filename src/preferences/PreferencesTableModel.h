#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

namespace plimsy {

// The private type under which a dragged row carries its index, shared by every Preferences table.
inline constexpr char PreferencesTableRowMimeType[] = "com.tindrel.plimsy.preferencesTableRow";

struct PreferencesTableColumn
{
    QString title;
    // Absent keeps the view's default width.
    std::optional<int> width;
    int minWidth = 0;
};

// One row as the table shows it. Rows are equal when their ids and texts are: icons alone never
// make the table reload.
struct PreferencesTableRow
{
    QVariant id;
    QStringList cells;
    QIcon icon;

    bool operator==(const PreferencesTableRow &other) const { return id == other.id && cells == other.cells; }
};

// The rows of one Preferences table, with reordering by drag and drop when the owner handles moves.
//
// It deliberately has no removeRows: after a move drop the view asks the model to remove the dragged
// row, and the owner has already moved it in its own list.
class PreferencesTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Called with the row's old index and its index after the move.
    using MoveHandler = std::function<void(int from, int to)>;

    PreferencesTableModel(QList<PreferencesTableColumn> columns, MoveHandler onMove, QObject *parent = nullptr);

    // Takes the rows and resets the model only when they differ from the ones shown; true when it did.
    bool setRows(QList<PreferencesTableRow> rows);
    const QList<PreferencesTableRow> &rows() const { return m_rows; }
    const QList<PreferencesTableColumn> &columns() const { return m_columns; }
    bool canMove() const { return static_cast<bool>(m_onMove); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    // Only between rows: `row` is the gap (-1 below the last row), `parent` invalid. A drop onto a row
    // (a valid parent) is refused.
    bool canDropMimeData(
        const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent) const override;
    bool
    dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent) override;

private:
    std::optional<int> draggedRow(const QMimeData *data) const;

    QList<PreferencesTableColumn> m_columns;
    MoveHandler m_onMove;
    QList<PreferencesTableRow> m_rows;

    Q_DISABLE_COPY_MOVE(PreferencesTableModel)
};

} // namespace plimsy
