#pragma once

#include "preferences/PreferencesTableModel.h"

#include <QTableView>
#include <QTimer>

namespace plimsy {

class UserDefaults;

// The list view of every Preferences table: one selectable row at a time, empty selection allowed,
// header widths and order kept in the user defaults under the autosave name, and reordering by drag
// and drop only when the owner handles moves. Takes the keyboard focus when its window shows it,
// unless another control already holds it. GUI thread.
class PreferencesNativeTable : public QTableView
{
    Q_OBJECT

public:
    PreferencesNativeTable(QList<PreferencesTableColumn> columns,
                           QString autosaveName,
                           UserDefaults &defaults,
                           PreferencesTableModel::MoveHandler onMove = {},
                           QWidget *parent = nullptr);

    PreferencesTableModel &tableModel() const { return *m_model; }

    // Shows these rows (reloading only when they differ from the ones shown) and selects the row of
    // `selectedId` alone, or nothing when it is invalid or names no row.
    void setRows(QList<PreferencesTableRow> rows, const QVariant &selectedId);
    void selectId(const QVariant &id);
    // The selected row's id; invalid when none is selected.
    QVariant selectedId() const;

Q_SIGNALS:
    // The user changed the selection; invalid when nothing is selected now.
    void selectedIdChanged(const QVariant &id);
    void rowDoubleClicked(const QVariant &id);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void handleSelectionChanged();
    void restoreHeader();
    void saveHeader();

    PreferencesTableModel *m_model;
    QString m_autosaveName;
    UserDefaults &m_defaults;
    QTimer m_headerSave;

    Q_DISABLE_COPY_MOVE(PreferencesNativeTable)
};

} // namespace plimsy
