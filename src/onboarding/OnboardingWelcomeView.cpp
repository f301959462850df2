#include "onboarding/OnboardingWelcomeView.h"

#include "account/AuthService.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "onboarding/OnboardingWidgets.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "preferences/PreferencesWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int AppIconSide = 80;
constexpr int SignInButtonWidth = 280;

} // namespace

OnboardingWelcomeView::OnboardingWelcomeView(std::function<void()> onSignedIn,
                                             PreferencesServices services,
                                             QWidget *parent)
    : QWidget(parent)
    , m_onSignedIn(std::move(onSignedIn))
    , m_services(std::move(services))
    , m_signInArea(new QWidget(this))
    , m_waitingArea(new QWidget(this))
    , m_signInButton(makeButton(QStringLiteral("Sign In with Email"), QStringLiteral("signInButton"), m_signInArea))
{
    setObjectName(QStringLiteral("onboardingWelcomeView"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addStretch(1);
    layout->addWidget(makeAppIconLabel(AppIconSide, this), 0, Qt::AlignHCenter);
    layout->addSpacing(24);
    layout->addWidget(makeTextLabel(QStringLiteral("Welcome to Plimsy"), TextStyle::Title, this, QFont::DemiBold),
                      0,
                      Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(makeTextLabel(QStringLiteral("The Laravel Forge companion for your menu bar."),
                                    TextStyle::Body,
                                    this,
                                    QFont::Normal,
                                    true),
                      0,
                      Qt::AlignHCenter);
    layout->addSpacing(32);

    auto *features = new QWidget(this);
    auto *featureLayout = new QVBoxLayout(features);
    featureLayout->setContentsMargins(0, 0, 0, 0);
    featureLayout->setSpacing(12);
    for (const Feature &feature : Features) {
        featureLayout->addWidget(
            makeSymbolRow(feature.symbol, accentColour(this), QString::fromUtf8(feature.text), features));
    }
    layout->addWidget(features, 0, Qt::AlignHCenter);
    layout->addSpacing(40);

    auto *signInLayout = new QVBoxLayout(m_signInArea);
    signInLayout->setContentsMargins(0, 0, 0, 0);
    m_signInButton->setIcon(makeSymbolIcon(Symbols::Envelope, palette().color(QPalette::ButtonText)));
    m_signInButton->setDefault(true);
    m_signInButton->setMinimumHeight(m_signInButton->sizeHint().height() + 8);
    m_signInButton->setMaximumWidth(SignInButtonWidth);
    signInLayout->addWidget(m_signInButton, 0, Qt::AlignHCenter);
    connect(m_signInButton, &QPushButton::clicked, this, &OnboardingWelcomeView::signIn);
    layout->addWidget(m_signInArea, 0, Qt::AlignHCenter);

    auto *waitingLayout = new QVBoxLayout(m_waitingArea);
    waitingLayout->setContentsMargins(0, 0, 0, 0);
    waitingLayout->setSpacing(12);
    auto *waitingRow = new QHBoxLayout;
    waitingRow->setSpacing(8);
    waitingRow->addWidget(makeBusyIndicator(QStringLiteral("waitingIndicator"), m_waitingArea));
    QLabel *waitingLabel =
        makeTextLabel(QStringLiteral("Check your email..."), TextStyle::Body, m_waitingArea, QFont::Normal, true);
    waitingLabel->setObjectName(QStringLiteral("waitingLabel"));
    waitingRow->addWidget(waitingLabel);
    waitingLayout->addLayout(waitingRow);
    QPushButton *cancel = makeButton(QStringLiteral("Cancel"), QStringLiteral("cancelSignInButton"), m_waitingArea);
    cancel->setFlat(true);
    cancel->setForegroundRole(QPalette::PlaceholderText);
    waitingLayout->addWidget(cancel, 0, Qt::AlignHCenter);
    connect(cancel, &QPushButton::clicked, this, &OnboardingWelcomeView::cancelSignIn);
    layout->addWidget(m_waitingArea, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    setWaitingForAuth(false);
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::authStateChanged, this, [this](const Notification &) { handleAuthStateChanged(); });
}

void OnboardingWelcomeView::signIn()
{
    setWaitingForAuth(true);
    startSignIn(m_services.signIn(), this, [this](const AuthManager::Result &result) { handleLoginResult(result); });
}

void OnboardingWelcomeView::cancelSignIn()
{
    // The waiting sign-in ends as cancelled and its state is forgotten: a late return signs nobody in.
    m_services.signIn().cancelLogin();
    setWaitingForAuth(false);
}

void OnboardingWelcomeView::handleLoginResult(const AuthManager::Result &result)
{
    // Success moves on with "authStateChanged", which the sign-in manager posts itself.
    const auto *error = std::get_if<AuthError>(&result);
    if (!error) {
        return;
    }
    setWaitingForAuth(false);
    if (error->errorCase() != AuthError::Case::Cancelled) {
        runDetached(showSignInFailed(error->userMessage()));
    }
}

QCoro::Task<> OnboardingWelcomeView::showSignInFailed(QString message)
{
    if (message.isEmpty()) {
        message = QStringLiteral("An unknown error occurred. Please try again.");
    }
    const Alert alert{
        QStringLiteral("Sign In Failed"), message, Alert::Style::Warning, {QStringLiteral("OK")}, window()};
    co_await m_services.alertPresenter().ask(alert);
}

void OnboardingWelcomeView::handleAuthStateChanged()
{
    if (!m_services.auth().isAuthenticated()) {
        return;
    }
    setWaitingForAuth(false);
    if (std::exchange(m_hasHandedOver, true)) {
        return;
    }
    // Not from inside the notice: handing over replaces this screen.
    QTimer::singleShot(0, this, [this] { m_onSignedIn(); });
}

void OnboardingWelcomeView::setWaitingForAuth(bool waiting)
{
    m_isWaitingForAuth = waiting;
    m_signInArea->setVisible(!waiting);
    m_waitingArea->setVisible(waiting);
}

} // namespace plimsy
