#pragma once

#include "preferences/PreferencesTableModel.h"

#include <QDialog>

#include <functional>
#include <optional>

class QBoxLayout;
class QLabel;
class QPushButton;

namespace plimsy {

class AlertPresenter;
class PreferencesNativeTable;
class UserDefaults;

// The frame the server and site settings sheets share: a one-column table of the records on the left,
// the selected record's details on the right, and "Done" (the default button) at the bottom right.
// Subclasses fill the details column top to bottom. GUI thread.
class SettingsSheet : public QDialog
{
    Q_OBJECT

public:
    struct Frame
    {
        QString title;
        QSize size;
        QString columnTitle;
        int tableWidth = 0;
        QString autosaveName;
    };

    SettingsSheet(const Frame &frame, UserDefaults &defaults, QWidget *parent = nullptr);

    PreferencesNativeTable *table() const { return m_table; }
    QPushButton *doneButton() const { return m_done; }

    // Whether the sheet wrote into an account.
    virtual bool didChangeSettings() const = 0;
    // Opens the sheet over the tab's window. However it ends ("Done", Escape, the window closing), it
    // posts "accountsChanged" when it wrote something, then deletes itself.
    void present(const QWidget *tab, AlertPresenter &alerts);

Q_SIGNALS:
    // The user selected another record, or none.
    void recordSelected(std::optional<qint64> id);

protected:
    // Lists the records by id under their names as `shownName` gives them (as stored when none), "Unnamed"
    // for one without a name.
    template <typename Record>
    void showRecords(const QList<Record> &records, const std::function<QString(const QString &)> &shownName = {})
    {
        QList<PreferencesTableRow> rows;
        for (const Record &record : records) {
            QString name = record.name.value_or(QStringLiteral("Unnamed"));
            if (record.name && shownName) {
                name = shownName(name);
            }
            rows.append({record.id, {name}, {}});
        }
        setRows(std::move(rows));
    }
    // Selects the record's row unless it is selected already.
    void showSelection(std::optional<qint64> id);
    // A label in the 80 px column and its value; returns the value's label.
    QLabel *addInfoRow(const QString &label, const QString &objectName);
    // A label in the 80 px column before `control`, `spaceAbove` below the part before it.
    void addOptionRow(const QString &label, QWidget *control, int spaceAbove);
    // `widget` indented from the column's leading edge.
    void addIndented(QWidget *widget, int indent, int spaceAbove = 0);
    // Small secondary text under an option.
    void addCaption(const QString &text, int indent);
    // Ends the details column: the rest of the height, then "Done".
    void finishDetails();

private:
    void setRows(QList<PreferencesTableRow> rows);

    PreferencesNativeTable *m_table;
    QBoxLayout *m_details;
    QPushButton *m_done;

    Q_DISABLE_COPY_MOVE(SettingsSheet)
};

} // namespace plimsy
