#include "preferences/PreferenceRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QWidget>

namespace plimsy {

namespace {

constexpr int LabelColumnWidth = 170;

} // namespace

QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(label, row);
    title->setTextFormat(Qt::PlainText);
    title->setFixedWidth(LabelColumnWidth);
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(title, 0, alignment & Qt::AlignVertical_Mask);
    layout->addWidget(content, 1, alignment);
    return row;
}

QLabel *makeCaptionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace plimsy
