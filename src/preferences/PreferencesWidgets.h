#pragma once

#include <QBoxLayout>
#include <QList>
#include <QString>
#include <Qt>

class QLabel;
class QProgressBar;
class QWidget;

namespace plimsy {

// A labelled settings row: the label right-aligned in a column 170 px wide (wider when its text needs it), then the
// content, so the controls of every row of a tab start at the same place. The content takes the rest of the row (room
// for wrapped text); a horizontal alignment in `alignment` keeps it at its natural width instead.
QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment = Qt::AlignVCenter);

// The width of a one-line label laid out `designWidth` wide: more at a larger font, and at least its text's.
int fittingWidth(const QLabel *label, int designWidth);

// Makes `label` the control's label for assistive technologies: its buddy, and its accessible name
// unless it has one (a button's own text follows the label's). Controls that take no focus are left alone.
void nameAfterLabel(QLabel *label, QWidget *control);

// Small secondary text, as hints under settings use.
QLabel *makeCaptionLabel(const QString &text, QWidget *parent = nullptr);

// A layout of `holder` without margins: the tabs nest these inside the window's padding.
QBoxLayout *makeBareLayout(QBoxLayout::Direction direction, QWidget *holder, int spacing = -1);

// A holder of `parts`, one after the other without margins. In a row they keep their natural widths on
// the leading side; `alignment` places each part in its cell.
QWidget *
makeStack(QBoxLayout::Direction direction, const QList<QWidget *> &parts, int spacing, Qt::Alignment alignment = {});

// A small indicator of work under way, without a measure of progress.
QProgressBar *makeBusyIndicator(const QString &objectName, QWidget *parent = nullptr);

} // namespace plimsy
