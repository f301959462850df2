#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace plimsy {

// The common frame of the Preferences sheets: a vertical layout with a bold title on top.
QBoxLayout *makeSheetLayout(QDialog *sheet, const QString &title, int minimumWidth);

// Hangs the sheet from the top of the tab that opens it, centred across the window: below the
// toolbar rather than over it.
void placeSheet(QDialog *sheet, const QWidget *tab);

// Whether the sheet is on screen: a finished sheet lingers until its deferred deletion.
inline bool isShowing(const QPointer<QDialog> &sheet)
{
    return sheet && sheet->isVisible();
}

// A push button with its object name, added to `row`.
QPushButton *addSheetButton(QBoxLayout *row, const QString &text, const QString &objectName);

} // namespace plimsy
