#include "onboarding/WelcomeView.h"

#include "onboarding/OnboardingWidgets.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>
#include <span>

namespace plimsy {

WelcomeView::WelcomeView(std::function<void()> onSignIn, bool isUpgradeFromV5, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("welcomeView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QVBoxLayout;
    header->setContentsMargins(40, 40, 40, 40);
    header->setSpacing(16);
    header->addWidget(makeTextLabel(QStringLiteral("Welcome to Plimsy"), TextStyle::Title, this, QFont::DemiBold),
                      0,
                      Qt::AlignHCenter);
    header->addWidget(makeTextLabel(QStringLiteral("The Laravel Forge companion for your menu bar."),
                                    TextStyle::Body,
                                    this,
                                    QFont::Normal,
                                    true),
                      0,
                      Qt::AlignHCenter);
    auto *features = new QWidget(this);
    auto *featureLayout = new QVBoxLayout(features);
    const int standard = featureLayout->contentsMargins().top();
    featureLayout->setContentsMargins(0, standard, 0, standard);
    featureLayout->setSpacing(8);
    for (const Feature &feature : std::span(Features).first(std::size(Features) - 1)) {
        featureLayout->addWidget(makeSymbolRow(
            feature.symbol, palette().color(QPalette::WindowText), QString::fromUtf8(feature.text), features));
    }
    header->addWidget(features, 0, Qt::AlignHCenter);
    if (isUpgradeFromV5) {
        QLabel *upgrade = makeTextLabel(QStringLiteral("Create an account to continue using Plimsy."),
                                        TextStyle::Callout,
                                        this,
                                        QFont::Normal,
                                        true);
        upgrade->setObjectName(QStringLiteral("upgradeLabel"));
        header->addWidget(upgrade, 0, Qt::AlignHCenter);
    }
    layout->addStretch(1);
    layout->addLayout(header);
    layout->addStretch(1);
    layout->addWidget(makeDivider(this));

    auto *actions = new QVBoxLayout;
    actions->setContentsMargins(0, 16, 0, 16);
    actions->setSpacing(12);
    QPushButton *signIn = makeButton(QStringLiteral("Sign In"), QStringLiteral("signInButton"), this);
    signIn->setDefault(true);
    signIn->setMinimumHeight(signIn->sizeHint().height() + 8);
    signIn->setMinimumWidth(signIn->sizeHint().width() + 32);
    connect(signIn, &QPushButton::clicked, this, [onSignIn = std::move(onSignIn)] { onSignIn(); });
    actions->addWidget(signIn, 0, Qt::AlignHCenter);
    QPushButton *quit = makeButton(QStringLiteral("Quit"), QStringLiteral("quitButton"), this);
    quit->setFlat(true);
    quit->setForegroundRole(QPalette::PlaceholderText);
    QFont font = quit->font();
    font.setPointSizeF(font.pointSizeF() * 0.95);
    quit->setFont(font);
    connect(quit, &QPushButton::clicked, this, [] { QCoreApplication::quit(); });
    actions->addWidget(quit, 0, Qt::AlignHCenter);
    layout->addLayout(actions);
}

} // namespace plimsy
