#include "preferences/PreferencesNativeTable.h"

#include "platform/UserDefaults.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace plimsy {

PreferencesNativeTable::PreferencesNativeTable(QList<PreferencesTableColumn> columns,
                                               QString autosaveName,
                                               UserDefaults &defaults,
                                               PreferencesTableModel::MoveHandler onMove,
                                               QWidget *parent)
    : QTableView(parent)
    , m_model(new PreferencesTableModel(std::move(columns), std::move(onMove), this))
    , m_autosaveName(std::move(autosaveName))
    , m_defaults(defaults)
{
    setModel(m_model);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    // Tab leaves the table, as in every other control; the arrow keys move between rows.
    setTabKeyNavigation(false);
    if (!m_model->columns().isEmpty()) {
        setAccessibleName(m_model->columns().first().title);
    }

    QHeaderView *header = horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    const QList<PreferencesTableColumn> &shown = m_model->columns();
    int minimum = shown.isEmpty() ? 0 : shown.first().minWidth;
    for (int i = 0; i < shown.size(); ++i) {
        header->setSectionResizeMode(i, QHeaderView::Interactive);
        if (shown.at(i).width) {
            header->resizeSection(i, *shown.at(i).width);
        }
        minimum = std::min(minimum, shown.at(i).minWidth);
    }
    header->setMinimumSectionSize(minimum);
    restoreHeader();

    // Coalesced, as a window layout resizes the stretching column more than once in a turn.
    m_headerSave.setSingleShot(true);
    m_headerSave.setInterval(0);
    connect(&m_headerSave, &QTimer::timeout, this, &PreferencesNativeTable::saveHeader);
    connect(header, &QHeaderView::sectionResized, &m_headerSave, qOverload<>(&QTimer::start));
    connect(header, &QHeaderView::sectionMoved, &m_headerSave, qOverload<>(&QTimer::start));

    if (m_model->canMove()) {
        setDragEnabled(true);
        setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::InternalMove);
        setDragDropOverwriteMode(false);
        setDefaultDropAction(Qt::MoveAction);
        setDropIndicatorShown(true);
    }

    connect(selectionModel(),
            &QItemSelectionModel::selectionChanged,
            this,
            &PreferencesNativeTable::handleSelectionChanged);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) {
            Q_EMIT rowDoubleClicked(m_model->rows().at(index.row()).id);
        }
    });
}

void PreferencesNativeTable::setRows(QList<PreferencesTableRow> rows, const QVariant &selectedId)
{
    m_model->setRows(std::move(rows));
    selectId(selectedId);
}

void PreferencesNativeTable::selectId(const QVariant &id)
{
    const QList<PreferencesTableRow> &rows = m_model->rows();
    int target = -1;
    if (id.isValid()) {
        const auto found =
            std::find_if(rows.cbegin(), rows.cend(), [&id](const PreferencesTableRow &row) { return row.id == id; });
        target = found == rows.cend() ? -1 : int(found - rows.cbegin());
    }
    const QModelIndexList selected = selectionModel()->selectedRows();
    const int current = selected.isEmpty() ? -1 : selected.first().row();
    if (target == current) {
        return;
    }
    if (target < 0) {
        clearSelection();
    } else {
        selectionModel()->select(m_model->index(target, 0),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selectionModel()->setCurrentIndex(m_model->index(target, 0), QItemSelectionModel::NoUpdate);
    }
}

QVariant PreferencesNativeTable::selectedId() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? QVariant() : m_model->rows().at(selected.first().row()).id;
}

void PreferencesNativeTable::showEvent(QShowEvent *event)
{
    QTableView::showEvent(event);
    QTimer::singleShot(0, this, [this] {
        QWidget *holder = window()->focusWidget();
        if (isVisible() && (!holder || holder == window())) {
            setFocus(Qt::OtherFocusReason);
        }
    });
}

void PreferencesNativeTable::handleSelectionChanged()
{
    Q_EMIT selectedIdChanged(selectedId());
}

void PreferencesNativeTable::restoreHeader()
{
    const QByteArray state = QByteArray::fromBase64(m_defaults.string(m_autosaveName).toLatin1());
    if (!state.isEmpty()) {
        horizontalHeader()->restoreState(state);
    }
}

void PreferencesNativeTable::saveHeader()
{
    const QString state = QString::fromLatin1(horizontalHeader()->saveState().toBase64());
    if (state != m_defaults.string(m_autosaveName)) {
        m_defaults.setValue(m_autosaveName, state);
    }
}

} // namespace plimsy
