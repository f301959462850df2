#include "preferences/PreferencesWidgets.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>

namespace plimsy {

namespace {

constexpr int LabelColumnWidth = 170;
// The font size the widths were laid out for: 9 points at 96 dpi.
constexpr int DesignFontPixels = 12;
constexpr QSize BusyIndicatorSize{48, 10};

} // namespace

QWidget *makePreferenceRow(const QString &label, QWidget *content, Qt::Alignment alignment)
{
    auto *row = new QWidget;
    QBoxLayout *layout = makeBareLayout(QBoxLayout::LeftToRight, row);
    auto *title = new QLabel(label, row);
    title->setTextFormat(Qt::PlainText);
    title->setMinimumWidth(fittingWidth(title, LabelColumnWidth));
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    nameAfterLabel(title, content);
    layout->addWidget(title, 0, alignment & Qt::AlignVertical_Mask);
    layout->addWidget(content, 1, alignment);
    return row;
}

int fittingWidth(const QLabel *label, int designWidth)
{
    // Grown with the font, so that the rows of a tab stay aligned; and never narrower than its own text.
    const int scaled = designWidth * QFontInfo(label->font()).pixelSize() / DesignFontPixels;
    return std::max({designWidth, scaled, label->fontMetrics().horizontalAdvance(label->text()) + 2});
}

void nameAfterLabel(QLabel *label, QWidget *control)
{
    if (control->focusPolicy() == Qt::NoFocus || label->text().isEmpty()) {
        return;
    }
    label->setBuddy(control);
    if (!control->accessibleName().isEmpty()) {
        return;
    }
    QString name = label->text().trimmed();
    if (name.endsWith(QLatin1Char(':'))) {
        name.chop(1);
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(control); button && !button->text().isEmpty()) {
        name += QStringLiteral(": ") + button->text();
    }
    control->setAccessibleName(name);
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
