// The client's context, user, grouping discriminator, code bundle id, metadata and flags, and the
// observer told of their changes.
#include "crashreporter/client/KestrixClient.h"
#include "crashreporter/client/KestrixSessionTracker.h"
#include "crashreporter/client/KestrixSystemState.h"

namespace kestrix {

namespace {

QJsonValue jsonOrNull(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

KestrixClientChangeValue valueOrNone(const std::optional<QString> &text)
{
    return text ? KestrixClientChangeValue(*text) : KestrixClientChangeValue();
}

} // namespace

void KestrixClient::setContext(const std::optional<QString> &context)
{
    {
        std::lock_guard lock(m_mutex);
        m_configuration.context = context;
    }
    m_state.addMetadata(jsonOrNull(context), QStringLiteral("context"), QStringLiteral("client"));
    tellObserver(KestrixClientChange::Context, valueOrNone(context));
}

std::optional<QString> KestrixClient::context() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.context;
}

KestrixUser KestrixClient::user() const
{
    std::lock_guard lock(m_mutex);
    return m_configuration.user();
}

void KestrixClient::setUser(const std::optional<QString> &id,
                            const std::optional<QString> &email,
                            const std::optional<QString> &name)
{
    KestrixUser user;
    {
        std::lock_guard lock(m_mutex);
        m_configuration.setUser(id, email, name);
        user = m_configuration.user();
        m_state.addMetadata(user.toJsonWithNulls(), QStringLiteral("user"));
    }
    tellObserver(KestrixClientChange::User, user);
}

std::optional<QString> KestrixClient::setGroupingDiscriminator(const std::optional<QString> &discriminator)
{
    std::optional<QString> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_groupingDiscriminator, discriminator);
        m_state.addMetadata(
            jsonOrNull(discriminator), QStringLiteral("groupingDiscriminator"), QStringLiteral("client"));
    }
    tellObserver(KestrixClientChange::GroupingDiscriminator, valueOrNone(discriminator));
    return previous;
}

std::optional<QString> KestrixClient::groupingDiscriminator() const
{
    std::lock_guard lock(m_mutex);
    return m_groupingDiscriminator;
}

void KestrixClient::setCodeBundleId(const QString &codeBundleId)
{
    {
        std::lock_guard lock(m_mutex);
        m_codeBundleId = codeBundleId;
    }
    m_state.addMetadata(codeBundleId, QStringLiteral("codeBundleId"), QStringLiteral("app"));
    if (m_systemState) {
        m_systemState->setCodeBundleID(codeBundleId);
    }
    if (m_sessionTracker) {
        m_sessionTracker->setCodeBundleId(codeBundleId);
    }
}

std::optional<QString> KestrixClient::codeBundleId() const
{
    std::lock_guard lock(m_mutex);
    return m_codeBundleId;
}

void KestrixClient::addMetadata(const QJsonValue &value, const QString &key, const QString &section)
{
    m_metadata->addMetadata(value, key, section);
}

void KestrixClient::addMetadata(const QJsonObject &values, const QString &section)
{
    m_metadata->addMetadata(values, section);
}

std::optional<QJsonObject> KestrixClient::getMetadata(const QString &section) const
{
    return m_metadata->getMetadataFromSection(section);
}

QJsonValue KestrixClient::getMetadata(const QString &section, const QString &key) const
{
    return m_metadata->getMetadataFromSection(section, key);
}

void KestrixClient::clearMetadata(const QString &section)
{
    m_metadata->clearMetadataFromSection(section);
}

void KestrixClient::clearMetadata(const QString &section, const QString &key)
{
    m_metadata->clearMetadataFromSection(section, key);
}

void KestrixClient::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    m_featureFlagStore->addFeatureFlag(name, variant);
    tellObserver(KestrixClientChange::FeatureFlagAdded, KestrixFeatureFlag{name, variant});
}

void KestrixClient::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    m_featureFlagStore->addFeatureFlags(flags);
    for (const KestrixFeatureFlag &flag : flags) {
        tellObserver(KestrixClientChange::FeatureFlagAdded, flag);
    }
}

void KestrixClient::clearFeatureFlag(const QString &name)
{
    m_featureFlagStore->clear(name);
    tellObserver(KestrixClientChange::FeatureFlagCleared, name);
}

void KestrixClient::clearFeatureFlags()
{
    m_featureFlagStore->clear();
    tellObserver(KestrixClientChange::FeatureFlagCleared, {});
}

void KestrixClient::setObserver(KestrixClientObserver observer)
{
    {
        std::lock_guard lock(m_observerMutex);
        m_observer = observer;
    }
    if (!observer) {
        m_metadata->setObserver({});
        return;
    }
    observer(KestrixClientChange::Context, valueOrNone(context()));
    observer(KestrixClientChange::User, user());
    observer(KestrixClientChange::GroupingDiscriminator, valueOrNone(groupingDiscriminator()));
    observer(KestrixClientChange::Metadata, KestrixMetadata(*m_metadata));
    m_metadata->setObserver(
        [this](const KestrixMetadata &metadata) { tellObserver(KestrixClientChange::Metadata, metadata); });
    for (const KestrixFeatureFlag &flag : m_featureFlagStore->allFlags()) {
        observer(KestrixClientChange::FeatureFlagAdded, flag);
    }
}

void KestrixClient::tellObserver(KestrixClientChange change, const KestrixClientChangeValue &value) const
{
    KestrixClientObserver observer;
    {
        std::lock_guard lock(m_observerMutex);
        observer = m_observer;
    }
    if (observer) {
        observer(change, value);
    }
}

KestrixCallbackToken KestrixClient::addOnSession(std::function<KestrixOnSession> callback)
{
    return m_configuration.addOnSession(std::move(callback));
}

void KestrixClient::removeOnSession(KestrixCallbackToken token)
{
    m_configuration.removeOnSession(token);
}

KestrixCallbackToken KestrixClient::addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback)
{
    return m_configuration.addOnBreadcrumb(std::move(callback));
}

void KestrixClient::removeOnBreadcrumb(KestrixCallbackToken token)
{
    m_configuration.removeOnBreadcrumb(token);
}

} // namespace kestrix
