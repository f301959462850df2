#include "onboarding/NotificationPreview.h"

#include "onboarding/OnboardingWidgets.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int Padding = 12;
constexpr int IconSide = 36;
constexpr int IconRadius = 8;
constexpr qreal CardRadius = 12;

QLabel *sizedLabel(const QString &text, qreal points, QFont::Weight weight, bool isSecondary, QWidget *parent)
{
    QLabel *label = makeTextLabel(text, TextStyle::Body, parent, weight, isSecondary);
    QFont font = label->font();
    font.setPointSizeF(points);
    label->setFont(font);
    return label;
}

} // namespace

NotificationPreview::NotificationPreview(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("notificationPreview"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(Padding, Padding, Padding, Padding);
    layout->setSpacing(12);
    layout->addWidget(makeAppIconLabel(IconSide, this, IconRadius), 0, Qt::AlignVCenter);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *top = new QHBoxLayout;
    top->addWidget(sizedLabel(QStringLiteral("Plimsy"), 9, QFont::DemiBold, false, this));
    top->addStretch(1);
    top->addWidget(sizedLabel(QStringLiteral("now"), 8, QFont::Normal, true, this));
    texts->addLayout(top);
    texts->addWidget(sizedLabel(QStringLiteral("Deployment Successful"), 10, QFont::Medium, false, this));
    texts->addWidget(
        sizedLabel(QStringLiteral("shop.example.com deployed to production"), 9, QFont::Normal, true, this));
    layout->addLayout(texts, 1);

    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 38));
    shadow->setBlurRadius(16);
    shadow->setOffset(0, 2);
    setGraphicsEffect(shadow);
}

void NotificationPreview::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), CardRadius, CardRadius);
    painter.fillPath(card, palette().color(QPalette::Base));
    painter.setPen(QPen(QColor(128, 128, 128, 51), 0.5));
    painter.drawPath(card);
}

} // namespace plimsy
