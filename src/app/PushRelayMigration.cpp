#include "app/PushRelayMigration.h"

#include "account/AuthService.h"
#include "core/ErrorDescription.h"
#include "core/KeychainProtocol.h"
#include "core/RunDetached.h"
#include "notifications/PushNotificationManager.h"
#include "platform/AlertPresenter.h"
#include "platform/UserDefaults.h"

namespace plimsy {

namespace {

using Kind = KeychainProtocol::Kind;
using Status = KeychainProtocol::Status;

} // namespace

PushRelayMigration::PushRelayMigration(Services services)
    : m_services(services)
{
}

std::optional<QString> PushRelayMigration::relayKey(KeychainProtocol &keychain)
{
    const QString account = QLatin1String(KeyAccount);
    const SecretStore::Lookup current = keychain.lookup(account, Kind::Default);
    if (current.status == Status::Ok) {
        return current.value;
    }
    if (current.status != Status::NotFound) {
        return std::nullopt;
    }
    const SecretStore::Lookup legacy = keychain.lookup(account, Kind::Legacy);
    if (legacy.status != Status::Ok) {
        return std::nullopt;
    }
    if (keychain.store(legacy.value, account) == Status::Ok) {
        const SecretStore::Lookup copy = keychain.lookup(account, Kind::Default);
        if (copy.status == Status::Ok && copy.value == legacy.value) {
            keychain.remove(account, Kind::Legacy);
        }
    }
    return legacy.value;
}

QCoro::Task<> PushRelayMigration::offerIfNeeded()
{
    if (!relayKey(*m_services.keychain)) {
        co_return;
    }
    UserDefaults &defaults = *m_services.defaults;
    if (defaults.boolValue(QLatin1String(PromptedKey))) {
        co_return;
    }
    // Set before asking, so the offer is considered once per installation whatever the answer.
    defaults.setValue(QLatin1String(PromptedKey), true);
    if (m_services.authService->isAuthenticated()) {
        co_await offer();
    }
}

QCoro::Task<> PushRelayMigration::offer()
{
    const Alert question{QStringLiteral("Migrate Push Notifications"),
                         QStringLiteral("Plimsy now has built-in push notifications. Would you like to migrate "
                                        "from the old Tollix system?\n\nYour notification settings will be "
                                        "preserved."),
                         Alert::Style::Informational,
                         {QStringLiteral("Migrate Now"), QStringLiteral("Later")}};
    const Services services = m_services;
    const int answer = co_await services.alerts->ask(question);
    if (answer == 0) {
        runDetached(migrate(services));
    }
}

QCoro::Task<> PushRelayMigration::migrate(Services services)
{
    std::optional<QString> failure;
    try {
        co_await services.push->enableNotifications();
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (failure) {
        // The relay key stays, so the relay keeps working.
        services.alerts->show({QStringLiteral("Migration Failed"), *failure, Alert::Style::Warning, {}});
        co_return;
    }
    const QString account = QLatin1String(KeyAccount);
    services.keychain->remove(account, Kind::Default);
    services.keychain->remove(account, Kind::Legacy);
    services.defaults->remove(QLatin1String(DeviceIdKey));
    services.alerts->show({QStringLiteral("Migration Complete"),
                           QStringLiteral("Push notifications are now enabled."),
                           Alert::Style::Informational,
                           {}});
}

} // namespace plimsy
