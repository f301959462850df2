#include "preferences/NotificationsTab.h"

#include "account/AuthService.h"
#include "core/ErrorDescription.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "notifications/PushNotificationManager.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "preferences/LegacyRelayKey.h"
#include "preferences/PreferencesWidgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace plimsy {

NotificationsTab::NotificationsTab(PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_signInHint(
          makeCaptionLabel(QStringLiteral("Sign in to enable push notifications for deployment success and failure.")))
    , m_switchRow(new QWidget)
    , m_switch(new QCheckBox(QStringLiteral("Enable push notifications")))
    , m_progress(makeBusyIndicator(QStringLiteral("pushProgress")))
    , m_unavailable(makeCaptionLabel(m_services.push().unavailableReason()))
    , m_legacySignedOut(makeCaptionLabel(QStringLiteral(
          "You're using the old Tollix system. Sign in above to migrate to the new notification system.")))
    , m_legacySignedIn(new QWidget)
{
    setObjectName(QStringLiteral("notificationsTab"));
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 32);

    auto *alerts = new QWidget;
    QBoxLayout *alertsLayout = makeBareLayout(QBoxLayout::TopToBottom, alerts);
    m_signInHint->setObjectName(QStringLiteral("pushSignInHint"));
    alertsLayout->addWidget(m_signInHint);
    QBoxLayout *switchLayout = makeBareLayout(QBoxLayout::LeftToRight, m_switchRow);
    m_switch->setObjectName(QStringLiteral("pushSwitch"));
    switchLayout->addWidget(m_switch);
    switchLayout->addWidget(m_progress);
    switchLayout->addStretch(1);
    alertsLayout->addWidget(m_switchRow);
    m_unavailable->setObjectName(QStringLiteral("pushUnavailableLabel"));
    alertsLayout->addWidget(m_unavailable);
    layout->addWidget(makePreferenceRow(QStringLiteral("Alerts:"), alerts, Qt::AlignTop));

    auto *legacy = new QWidget;
    QBoxLayout *legacyLayout = makeBareLayout(QBoxLayout::TopToBottom, legacy);
    m_legacySignedOut->setObjectName(QStringLiteral("legacySignedOutHint"));
    legacyLayout->addWidget(m_legacySignedOut);
    QBoxLayout *signedInLayout = makeBareLayout(QBoxLayout::TopToBottom, m_legacySignedIn, 8);
    signedInLayout->addWidget(
        makeCaptionLabel(QStringLiteral("You have an old Tollix API key. The new notification system is now active.")));
    auto *remove = new QPushButton(QStringLiteral("Remove Legacy Key"));
    remove->setObjectName(QStringLiteral("removeLegacyKeyButton"));
    signedInLayout->addWidget(remove, 0, Qt::AlignLeft);
    legacyLayout->addWidget(m_legacySignedIn);
    m_legacyRow = makePreferenceRow(QStringLiteral("Legacy Tollix:"), legacy, Qt::AlignTop);
    m_legacyRow->setObjectName(QStringLiteral("legacyKeyRow"));
    layout->addWidget(m_legacyRow);

    connect(m_switch, &QCheckBox::toggled, this, &NotificationsTab::handleToggleChange);
    connect(remove, &QPushButton::clicked, this, &NotificationsTab::removeLegacyKey);
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::authStateChanged, this, [this](const Notification &) { refreshState(); });
    updateViews();
}

bool NotificationsTab::isEnabled() const
{
    return m_switch->isChecked();
}

void NotificationsTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshState();
}

void NotificationsTab::refreshState()
{
    m_isAuthenticated = m_services.auth().isAuthenticated();
    // Only a platform with push can have it on; and reading the flag is no request to change it.
    setEnabledProgrammatically(m_services.push().isSupported()
                               && m_services.userDefaults().boolValue(PushNotificationManager::PushEnabledKey));
    m_hasLegacyAPIKey = LegacyRelayKey::findMovingOlderItem(m_services.legacyRelayKeys());
    updateViews();
}

void NotificationsTab::setEnabledProgrammatically(bool enabled)
{
    if (m_switch->isChecked() != enabled) {
        m_isApplyingProgrammaticChange = true;
        m_switch->setChecked(enabled);
    }
}

void NotificationsTab::handleToggleChange(bool enabled)
{
    if (m_isApplyingProgrammaticChange) {
        m_isApplyingProgrammaticChange = false;
        return;
    }
    m_isLoading = true;
    updateViews();
    runDetached(runToggle(enabled));
}

QCoro::Task<> NotificationsTab::runToggle(bool enabled)
{
    QPointer self(this);
    PushNotificationManager &push = m_services.push();
    std::optional<QString> failure;
    try {
        if (enabled) {
            co_await push.enableNotifications();
        } else {
            co_await push.disableNotifications();
        }
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (!self) {
        co_return;
    }
    m_isLoading = false;
    if (!failure) {
        refreshState();
        NotificationCenter::defaultCenter().post(NotificationNames::accountsChanged);
        co_return;
    }
    setEnabledProgrammatically(!enabled);
    updateViews();
    showError(*failure);
}

void NotificationsTab::removeLegacyKey()
{
    // The row stays while a copy of the key may be left behind.
    if (!LegacyRelayKey::remove(m_services.legacyRelayKeys())) {
        showError(QStringLiteral("The legacy key could not be removed from the keyring. Make sure the keyring is "
                                 "unlocked, then try again."));
        return;
    }
    m_services.userDefaults().remove(QString::fromLatin1(LegacyRelayKey::DeviceIDKey));
    m_hasLegacyAPIKey = false;
    updateViews();
}

void NotificationsTab::updateViews()
{
    const bool supported = m_services.push().isSupported();
    m_signInHint->setVisible(!m_isAuthenticated);
    m_switchRow->setVisible(m_isAuthenticated);
    m_switch->setEnabled(supported && !m_isLoading);
    m_progress->setVisible(m_isLoading);
    m_unavailable->setVisible(m_isAuthenticated && !supported);
    m_legacyRow->setVisible(m_hasLegacyAPIKey);
    m_legacySignedOut->setVisible(!m_isAuthenticated);
    m_legacySignedIn->setVisible(m_isAuthenticated);
}

void NotificationsTab::showError(const QString &message)
{
    const QString text = message.isEmpty() ? QStringLiteral("An error occurred") : message;
    m_services.alertPresenter().show(
        {QStringLiteral("Error"), text, Alert::Style::Warning, {QStringLiteral("OK")}, window()});
}

} // namespace plimsy
