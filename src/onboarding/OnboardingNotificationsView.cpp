#include "onboarding/OnboardingNotificationsView.h"

#include "account/AuthService.h"
#include "notifications/PushNotificationManager.h"
#include "onboarding/NotificationPreview.h"
#include "onboarding/OnboardingScreenFrame.h"
#include "onboarding/OnboardingWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <variant>

namespace plimsy {

namespace {

// Tight enough that the whole screen, sign-in prompt included, fits the window without scrolling.
constexpr int ContentSpacing = 12;
constexpr int HeadingSpacing = 10;
constexpr int VerticalPadding = 16;
constexpr int SidePadding = 40;
constexpr int BellSide = 48;
constexpr int IntroWidth = 360;

struct Benefit
{
    Symbol symbol;
    QColor colour;
    const char *text;
};

const Benefit Benefits[] = {
    {Symbols::CheckmarkCircle, QColor(0x34, 0xc7, 0x59), "Deployment succeeded alerts"},
    {Symbols::XmarkCircle, QColor(0xff, 0x3b, 0x30), "Deployment failed warnings"},
    {Symbols::Bolt, QColor(0xff, 0x95, 0x00), "Real-time updates"},
};

QWidget *padded(QWidget *inner, QWidget *parent)
{
    auto *holder = new QWidget(parent);
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(SidePadding, 0, SidePadding, 0);
    inner->setParent(holder);
    layout->addWidget(inner);
    return holder;
}

} // namespace

OnboardingNotificationsView::OnboardingNotificationsView(Actions actions, PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
    , m_services(std::move(services))
    , m_isSupported(m_services.push().isSupported())
{
    setObjectName(QStringLiteral("onboardingNotificationsView"));
    const OnboardingScreenFrame frame(this,
                                      ContentSpacing,
                                      {QStringLiteral("Maybe Later"),
                                       QStringLiteral("maybeLaterButton"),
                                       QStringLiteral("primaryButton"),
                                       QStringLiteral("enablingIndicator")});
    QWidget *content = frame.content;
    QVBoxLayout *contentLayout = frame.contentLayout;
    m_back = frame.back;
    m_skip = frame.secondary;
    m_primary = frame.primary;
    m_progress = frame.busy;
    const QMargins margins = contentLayout->contentsMargins();
    contentLayout->setContentsMargins(margins.left(), VerticalPadding, margins.right(), VerticalPadding);

    auto *heading = new QVBoxLayout;
    heading->setSpacing(HeadingSpacing);
    QLabel *oneMore =
        makeTextLabel(QStringLiteral("One more thing...").toUpper(), TextStyle::Caption, content, QFont::Normal, true);
    oneMore->setObjectName(QStringLiteral("oneMoreThingLabel"));
    heading->addWidget(oneMore, 0, Qt::AlignHCenter);
    heading->addWidget(makeSymbolLabel(Symbols::BellBadge, BellSide, accentColour(this), content), 0, Qt::AlignHCenter);
    heading->addWidget(makeTextLabel(QStringLiteral("Never Miss a Deployment"), TextStyle::Title, content, QFont::Bold),
                       0,
                       Qt::AlignHCenter);
    QLabel *intro = makeTextLabel(QStringLiteral("Get instant notifications when your deployments succeed or fail, "
                                                 "right on your desktop."),
                                  TextStyle::Body,
                                  content,
                                  QFont::Normal,
                                  true);
    intro->setWordWrap(true);
    intro->setAlignment(Qt::AlignHCenter);
    // A wrapped label in a centring layout shrinks to its one-line hint: give it its width.
    intro->setFixedWidth(IntroWidth);
    // Nor does that layout give it the height of its lines at that width: a larger font wraps to more.
    intro->setMinimumHeight(intro->heightForWidth(IntroWidth));
    heading->addWidget(intro, 0, Qt::AlignHCenter);
    contentLayout->addLayout(heading);

    contentLayout->addWidget(padded(new NotificationPreview, content));

    auto *benefits = new QWidget;
    auto *benefitLayout = new QVBoxLayout(benefits);
    benefitLayout->setContentsMargins(0, 0, 0, 0);
    benefitLayout->setSpacing(12);
    for (const Benefit &benefit : Benefits) {
        benefitLayout->addWidget(
            makeSymbolRow(benefit.symbol, benefit.colour, QString::fromLatin1(benefit.text), benefits));
    }
    contentLayout->addWidget(padded(benefits, content));

    auto *hint = new QWidget;
    auto *hintLayout = new QHBoxLayout(hint);
    hintLayout->setContentsMargins(0, 0, 0, 0);
    QLabel *hintText = makeTextLabel(QStringLiteral("Then enable notifications for each site from the site menu."),
                                     TextStyle::Caption,
                                     hint,
                                     QFont::Normal,
                                     true);
    hintLayout->addWidget(makeSymbolLabel(
        Symbols::Info, hintText->fontMetrics().height(), palette().color(QPalette::PlaceholderText), hint));
    hintLayout->addWidget(hintText, 1);
    contentLayout->addWidget(padded(hint, content));

    if (m_isSupported) {
        m_signInPrompt = new QWidget(content);
        m_signInPrompt->setObjectName(QStringLiteral("signInPrompt"));
        auto *promptLayout = new QVBoxLayout(m_signInPrompt);
        promptLayout->setContentsMargins(0, 0, 0, 0);
        promptLayout->setSpacing(8);
        promptLayout->addWidget(makeTextLabel(QStringLiteral("Sign in required for notifications"),
                                              TextStyle::Caption,
                                              m_signInPrompt,
                                              QFont::Normal,
                                              true),
                                0,
                                Qt::AlignHCenter);
        QPushButton *signInButton =
            makeButton(QStringLiteral("Sign In to Enable"), QStringLiteral("signInToEnableButton"), m_signInPrompt);
        connect(signInButton, &QPushButton::clicked, this, &OnboardingNotificationsView::signIn);
        promptLayout->addWidget(signInButton, 0, Qt::AlignHCenter);
        contentLayout->addWidget(m_signInPrompt);
    } else {
        QLabel *unavailable =
            makeTextLabel(m_services.push().unavailableReason(), TextStyle::Callout, content, QFont::Normal, true);
        unavailable->setObjectName(QStringLiteral("pushUnavailableLabel"));
        contentLayout->addWidget(unavailable, 0, Qt::AlignHCenter);
    }
    contentLayout->addStretch(1);
    connect(m_back, &QPushButton::clicked, this, [this] { m_actions.onBack(); });
    connect(m_skip, &QPushButton::clicked, this, [this] { m_actions.onSkip(); });
    connect(m_primary, &QPushButton::clicked, this, &OnboardingNotificationsView::primaryAction);
    updateControls();
}

void OnboardingNotificationsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    checkAuthentication();
}

void OnboardingNotificationsView::checkAuthentication()
{
    m_isAuthenticated = m_services.auth().isAuthenticated();
    updateControls();
}

void OnboardingNotificationsView::primaryAction()
{
    if (m_isEnabling) {
        return;
    }
    if (!m_isSupported) {
        // Nothing to switch on here: the button only finishes.
        m_actions.onSkip();
        return;
    }
    if (!m_isAuthenticated) {
        signIn();
        return;
    }
    m_isEnabling = true;
    updateControls();
    m_actions.onEnable();
}

void OnboardingNotificationsView::signIn()
{
    startSignIn(m_services.signIn(), this, [this](const AuthManager::Result &result) { handleLoginResult(result); });
}

void OnboardingNotificationsView::handleLoginResult(const AuthManager::Result &result)
{
    // A failed or cancelled sign-in leaves the screen as it was.
    if (std::holds_alternative<AuthResponse>(result)) {
        m_isAuthenticated = true;
        updateControls();
    }
}

void OnboardingNotificationsView::updateControls()
{
    if (m_signInPrompt) {
        m_signInPrompt->setVisible(!m_isAuthenticated);
    }
    QString label = QStringLiteral("Finish");
    if (m_isSupported) {
        label = m_isAuthenticated ? QStringLiteral("Enable Notifications") : QStringLiteral("Sign In");
    }
    m_primary->setText(m_isEnabling ? QString() : label);
    m_progress->setVisible(m_isEnabling);
    m_primary->setEnabled(!m_isEnabling);
    // Going back or finishing a second way while enabling would finish the walk twice.
    m_back->setEnabled(!m_isEnabling);
    m_skip->setEnabled(!m_isEnabling);
}

} // namespace plimsy
