#pragma once

#include <QString>
#include <Qt>

class QLabel;
class QWidget;

namespace plimsy {

// A labelled settings row: the label right-aligned in a column 170 px wide, then the content, so the
// controls of every row of a tab start at the same place. The content takes the rest of the row (room
// for wrapped text); a horizontal alignment in `alignment` keeps it at its natural width instead.
QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment = Qt::AlignVCenter);

// Small secondary text, as hints under settings use.
QLabel *makeCaptionLabel(const QString &text, QWidget *parent = nullptr);

} // namespace plimsy
