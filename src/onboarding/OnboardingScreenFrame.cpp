#include "onboarding/OnboardingScreenFrame.h"

#include "onboarding/OnboardingWidgets.h"
#include "preferences/PreferencesWidgets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int ContentPadding = 24;
constexpr int PrimaryWidth = 90;
constexpr int ButtonGap = 8;

} // namespace

OnboardingScreenFrame::OnboardingScreenFrame(QWidget *screen, int spacing, const Names &names)
{
    auto *layout = new QVBoxLayout(screen);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *scroll = new QScrollArea(screen);
    scroll->setObjectName(QStringLiteral("contentScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes from control to control; the area scrolls to each one by itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    content = new QWidget(scroll);
    contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(ContentPadding, ContentPadding, ContentPadding, ContentPadding);
    contentLayout->setSpacing(spacing);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    layout->addWidget(makeDivider(screen));

    auto *buttons = new QHBoxLayout;
    const int margin = screen->style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    buttons->setContentsMargins(margin, margin, margin, margin);
    back = makeButton(QStringLiteral("Back"), QStringLiteral("backButton"), screen);
    buttons->addWidget(back);
    buttons->addStretch(1);
    secondary = makeButton(names.secondaryTitle, names.secondaryName, screen);
    secondary->setForegroundRole(QPalette::PlaceholderText);
    buttons->addWidget(secondary);
    buttons->addSpacing(ButtonGap);
    primary = makeButton(QString(), names.primaryName, screen);
    primary->setDefault(true);
    primary->setMinimumWidth(PrimaryWidth);
    busy = makeBusyIndicator(names.busyName, primary);
    auto *inside = new QHBoxLayout(primary);
    inside->addWidget(busy, 0, Qt::AlignCenter);
    buttons->addWidget(primary);
    layout->addLayout(buttons);
}

} // namespace plimsy
