#include "preferences/PreferencesWidgets.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace plimsy {

namespace {

constexpr int LabelColumnWidth = 170;
constexpr QSize BusyIndicatorSize{48, 10};

} // namespace

QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment)
{
    auto *row = new QWidget;
    QBoxLayout *layout = makeBareLayout(QBoxLayout::LeftToRight, row);
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

QBoxLayout *makeBareLayout(QBoxLayout::Direction direction, QWidget *holder, int spacing)
{
    auto *layout = new QBoxLayout(direction, holder);
    layout->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0) {
        layout->setSpacing(spacing);
    }
    return layout;
}

QWidget *makeStack(QBoxLayout::Direction direction, const QList<QWidget *> &parts, int spacing, Qt::Alignment alignment)
{
    auto *stack = new QWidget;
    QBoxLayout *layout = makeBareLayout(direction, stack, spacing);
    for (QWidget *part : parts) {
        layout->addWidget(part, 0, alignment);
    }
    if (direction == QBoxLayout::LeftToRight) {
        layout->addStretch(1);
    }
    return stack;
}

QProgressBar *makeBusyIndicator(const QString &objectName, QWidget *parent)
{
    auto *indicator = new QProgressBar(parent);
    indicator->setObjectName(objectName);
    indicator->setRange(0, 0);
    indicator->setTextVisible(false);
    indicator->setFixedSize(BusyIndicatorSize);
    return indicator;
}

} // namespace plimsy
