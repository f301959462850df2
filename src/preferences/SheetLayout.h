#pragma once

#include <QString>

class QBoxLayout;
class QDialog;
class QLabel;
class QPushButton;

namespace plimsy {

// The common frame of the Preferences sheets: a vertical layout with a bold title on top.
QBoxLayout *makeSheetLayout(QDialog *sheet, const QString &title, int minimumWidth);

// A push button with its object name, added to `row`.
QPushButton *addSheetButton(QBoxLayout *row, const QString &text, const QString &objectName);

} // namespace plimsy
