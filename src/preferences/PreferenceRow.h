#pragma once

#include <QString>
#include <Qt>

class QLabel;
class QWidget;

namespace plimsy {

// A labelled settings row: the label right-aligned in a column 170 px wide, then the content, then
// flexible space, so the controls of every row of a tab start at the same place.
QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment = Qt::AlignVCenter);

// Small secondary text, as hints under settings use.
QLabel *makeCaptionLabel(const QString &text, QWidget *parent = nullptr);

} // namespace plimsy
