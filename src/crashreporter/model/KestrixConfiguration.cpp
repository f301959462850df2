#include "crashreporter/model/KestrixConfiguration.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXLogger.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>

#include <algorithm>

namespace kestrix {

namespace {

const QString UserIdKey = QStringLiteral("KestrixUserUserId");
const QString UserNameKey = QStringLiteral("KestrixUserName");
const QString UserEmailKey = QStringLiteral("KestrixUserEmailAddress");
constexpr uint64_t MaxBreadcrumbsLimit = 500;

std::optional<QString> storedString(const QString &key)
{
    const QVariant value = plimsy::UserDefaults::standard().object(key);
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

KestrixUser loadPersistedUser()
{
    return {storedString(UserIdKey), storedString(UserNameKey), storedString(UserEmailKey)};
}

void storeString(const QString &key, const std::optional<QString> &value)
{
    // Each write syncs the defaults file to disk; copies and launches mostly store what is there.
    if (storedString(key) == value) {
        return;
    }
    auto &defaults = plimsy::UserDefaults::standard();
    if (value) {
        defaults.setValue(key, *value);
    } else {
        defaults.remove(key);
    }
}

void persistUserIdentity(const std::optional<KestrixUser> &user)
{
    storeString(UserIdKey, user ? user->id : std::nullopt);
    storeString(UserNameKey, user ? user->name : std::nullopt);
    storeString(UserEmailKey, user ? user->email : std::nullopt);
}

bool isAcceptedURL(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty();
}

std::optional<QUrl> urlOf(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional(QUrl(text));
}

// "Option <option> should be ..." with the rejected value.
void logInvalidValue(const QString &rule, uint64_t value)
{
    kxLogError(
        QStringLiteral("Invalid configuration value detected. Option %1. Supplied value is %2").arg(rule).arg(value));
}

void setNonZero(uint64_t &option, uint64_t value, const char *name)
{
    if (value == 0) {
        logInvalidValue(QStringLiteral("%1 should be a non-zero integer").arg(QLatin1String(name)), value);
        return;
    }
    option = value;
}

std::optional<QString> bundleString(const char *value)
{
    return *value != 0 ? std::optional(QString::fromUtf8(value)) : std::nullopt;
}

} // namespace

KestrixConfiguration::KestrixConfiguration(Bare)
    : releaseStage(std::nullopt)
    , redactedKeys()
    , appType(std::nullopt)
    , launchDurationMillis(0)
    , enabledBreadcrumbTypes(0)
    , maxStringValueLength(0)
    , telemetry(0)
    , m_appHangThresholdMillis(0)
    , m_maxPersistedEvents(0)
    , m_maxPersistedSessions(0)
    , m_maxBreadcrumbs(0)
    , m_persistUser(false)
{
    autoDetectErrors = false;
    autoTrackSessions = false;
    sendLaunchCrashesSynchronously = false;
    enabledErrorTypes = {false, false, false, false, false, false, false, false};
}

KestrixConfiguration::KestrixConfiguration(const std::optional<QString> &apiKey)
    : appVersion(bundleString(plimsy::BundleInfo::ShortVersion))
    , bundleVersion(bundleString(plimsy::BundleInfo::BuildNumber))
    , m_endpoints(KestrixEndpointConfiguration::defaultForApiKey(apiKey.value_or(QString())))
    , m_user(loadPersistedUser())
{
    if (apiKey) {
        setApiKey(apiKey);
    }
}

KestrixConfiguration KestrixConfiguration::copy() const
{
    KestrixConfiguration copy(m_apiKey);
    copy.setAppHangThresholdMillis(m_appHangThresholdMillis);
    copy.reportBackgroundAppHangs = reportBackgroundAppHangs;
    copy.appType = appType;
    copy.appVersion = appVersion;
    copy.autoDetectErrors = autoDetectErrors;
    copy.autoTrackSessions = autoTrackSessions;
    copy.bundleVersion = bundleVersion;
    copy.context = context;
    copy.enabledBreadcrumbTypes = enabledBreadcrumbTypes;
    copy.enabledErrorTypes = enabledErrorTypes;
    copy.enabledReleaseStages = enabledReleaseStages;
    copy.discardClasses = discardClasses;
    copy.redactedKeys = redactedKeys;
    copy.launchDurationMillis = launchDurationMillis;
    copy.sendLaunchCrashesSynchronously = sendLaunchCrashesSynchronously;
    copy.attemptDeliveryOnCrash = attemptDeliveryOnCrash;
    copy.setMaxPersistedEvents(m_maxPersistedEvents);
    copy.setMaxPersistedSessions(m_maxPersistedSessions);
    copy.maxStringValueLength = maxStringValueLength;
    copy.setMaxBreadcrumbs(m_maxBreadcrumbs);
    copy.notifier = notifier;
    copy.featureFlagStore = featureFlagStore;
    copy.metadata = metadata;
    copy.setEndpoints(m_endpoints);
    copy.onCrashHandler = onCrashHandler;
    copy.m_persistUser = m_persistUser;
    copy.plugins = plugins;
    copy.releaseStage = releaseStage;
    copy.sendThreads = sendThreads;
    copy.setUser(m_user.id, m_user.email, m_user.name);
    copy.onBreadcrumbBlocks = onBreadcrumbBlocks;
    copy.onSendBlocks = onSendBlocks;
    copy.onSessionBlocks = onSessionBlocks;
    copy.telemetry = telemetry;
    return copy;
}

QJsonObject KestrixConfiguration::dictionaryRepresentation() const
{
    QJsonObject json;
    kxInsert(json, "appType", appType);
    kxInsert(json, "appVersion", appVersion);
    kxInsert(json, "bundleVersion", bundleVersion);
    kxInsert(json, "context", context);
    if (enabledReleaseStages) {
        json.insert(QStringLiteral("enabledReleaseStages"), QJsonArray::fromStringList(*enabledReleaseStages));
    }
    kxInsert(json, "releaseStage", releaseStage);
    return json;
}

KestrixConfiguration KestrixConfiguration::fromDictionaryRepresentation(const QJsonObject &dictionary)
{
    KestrixConfiguration config{Bare{}};
    config.appType = kxString(dictionary, "appType");
    config.appVersion = kxString(dictionary, "appVersion");
    config.bundleVersion = kxString(dictionary, "bundleVersion");
    config.context = kxString(dictionary, "context");
    config.releaseStage = kxString(dictionary, "releaseStage");
    const QJsonValue stages = dictionary.value(QStringLiteral("enabledReleaseStages"));
    if (stages.isArray()) {
        QStringList list;
        for (const QJsonValue &stage : stages.toArray()) {
            if (stage.isString()) {
                list << stage.toString();
            }
        }
        config.enabledReleaseStages = list;
    }
    return config;
}

void KestrixConfiguration::setApiKey(const std::optional<QString> &apiKey)
{
    m_apiKey = apiKey;
    if (!m_endpoints.isCustom()) {
        m_endpoints = KestrixEndpointConfiguration::defaultForApiKey(apiKey.value_or(QString()));
    }
}

void KestrixConfiguration::setEndpoints(const KestrixEndpointConfiguration &endpoints)
{
    m_endpoints.notify = isAcceptedURL(endpoints.notify) ? endpoints.notify : QString();
    if (isAcceptedURL(endpoints.sessions)) {
        m_endpoints.sessions = endpoints.sessions;
    } else {
        m_endpoints.sessions.clear();
        kxLogError(QStringLiteral("Invalid URL supplied for session endpoint"));
    }
}

void KestrixConfiguration::setAppHangThresholdMillis(uint64_t millis)
{
    if (millis < 250) {
        logInvalidValue(QStringLiteral("appHangThresholdMillis should be greater than or equal to 250"), millis);
        return;
    }
    m_appHangThresholdMillis = millis;
}

void KestrixConfiguration::setMaxPersistedEvents(uint64_t count)
{
    setNonZero(m_maxPersistedEvents, count, "maxPersistedEvents");
}

void KestrixConfiguration::setMaxPersistedSessions(uint64_t count)
{
    setNonZero(m_maxPersistedSessions, count, "maxPersistedSessions");
}

void KestrixConfiguration::setMaxBreadcrumbs(uint64_t count)
{
    if (count > MaxBreadcrumbsLimit) {
        logInvalidValue(QStringLiteral("maxBreadcrumbs should be an integer between 0-%1").arg(MaxBreadcrumbsLimit),
                        count);
        return;
    }
    m_maxBreadcrumbs = count;
}

void KestrixConfiguration::setPersistUser(bool persist)
{
    m_persistUser = persist;
    persistUserIdentity(persist ? std::optional(m_user) : std::nullopt);
}

void KestrixConfiguration::setUser(const std::optional<QString> &id,
                                   const std::optional<QString> &email,
                                   const std::optional<QString> &name)
{
    m_user = KestrixUser{id, name, email};
    if (m_persistUser) {
        persistUserIdentity(m_user);
    }
}

std::optional<QUrl> KestrixConfiguration::notifyURL() const
{
    return urlOf(m_endpoints.notify);
}

std::optional<QUrl> KestrixConfiguration::sessionURL() const
{
    return urlOf(m_endpoints.sessions);
}

bool KestrixConfiguration::isReleaseStageEnabled(const std::optional<QStringList> &enabledStages,
                                                 const std::optional<QString> &stage)
{
    return !enabledStages || enabledStages->isEmpty() || enabledStages->contains(stage.value_or(QString()));
}

bool KestrixConfiguration::shouldSendReports() const
{
    return isReleaseStageEnabled(enabledReleaseStages, releaseStage);
}

bool KestrixConfiguration::hasIntake() const
{
    return m_apiKey && !m_apiKey->isEmpty() && notifyURL();
}

bool KestrixConfiguration::shouldDiscardErrorClass(const QString &errorClass) const
{
    return kxMatchesAny(discardClasses, errorClass, false);
}

bool KestrixConfiguration::shouldRecordBreadcrumbType(KestrixBreadcrumbType type) const
{
    static constexpr uint64_t Bits[] = {0, 0x80, 0x08, 0x10, 0x40, 0x20, 0x02, 0x04};
    const auto index = static_cast<uint64_t>(type);
    if (type == KestrixBreadcrumbType::Manual) {
        return true;
    }
    if (enabledBreadcrumbTypes == 0 || index >= std::size(Bits)) {
        return false;
    }
    return (enabledBreadcrumbTypes & Bits[index]) != 0;
}

bool KestrixConfiguration::isValidApiKey(const QString &apiKey)
{
    if (apiKey.size() != 32) {
        return false;
    }
    return std::all_of(apiKey.begin(), apiKey.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
               || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    });
}

bool KestrixConfiguration::validate() const
{
    if (!m_apiKey || m_apiKey->isEmpty()) {
        kxLogError(QStringLiteral("No Kestrix API key has been provided"));
        return false;
    }
    if (!isValidApiKey(*m_apiKey)) {
        // The key itself stays out of the log.
        kxLogWarning(QStringLiteral("Invalid apiKey: expected a 32-character hexademical string, got \"<HIDDEN, %1 "
                                    "characters>\"")
                         .arg(m_apiKey->size()));
    }
    return true;
}

KestrixCallbackToken KestrixConfiguration::addOnSendError(std::function<KestrixOnSendError> callback)
{
    return onSendBlocks->add(std::move(callback));
}

void KestrixConfiguration::removeOnSendError(KestrixCallbackToken token)
{
    onSendBlocks->remove(token);
}

KestrixCallbackToken KestrixConfiguration::addOnSession(std::function<KestrixOnSession> callback)
{
    return onSessionBlocks->add(std::move(callback));
}

void KestrixConfiguration::removeOnSession(KestrixCallbackToken token)
{
    onSessionBlocks->remove(token);
}

KestrixCallbackToken KestrixConfiguration::addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback)
{
    return onBreadcrumbBlocks->add(std::move(callback));
}

void KestrixConfiguration::removeOnBreadcrumb(KestrixCallbackToken token)
{
    onBreadcrumbBlocks->remove(token);
}

void KestrixConfiguration::addPlugin(std::shared_ptr<KestrixPlugin> plugin)
{
    if (std::find(plugins.begin(), plugins.end(), plugin) == plugins.end()) {
        plugins.push_back(std::move(plugin));
    }
}

void KestrixConfiguration::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    featureFlagStore->addFeatureFlag(name, variant);
}

void KestrixConfiguration::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    featureFlagStore->addFeatureFlags(flags);
}

void KestrixConfiguration::clearFeatureFlag(const QString &name)
{
    featureFlagStore->clear(name);
}

void KestrixConfiguration::clearFeatureFlags()
{
    featureFlagStore->clear();
}

void KestrixConfiguration::addMetadata(const QJsonObject &values, const QString &section)
{
    metadata->addMetadata(values, section);
}

void KestrixConfiguration::addMetadata(const QJsonValue &value, const QString &key, const QString &section)
{
    metadata->addMetadata(value, key, section);
}

std::optional<QJsonObject> KestrixConfiguration::getMetadataFromSection(const QString &section) const
{
    return metadata->getMetadataFromSection(section);
}

QJsonValue KestrixConfiguration::getMetadataFromSection(const QString &section, const QString &key) const
{
    return metadata->getMetadataFromSection(section, key);
}

void KestrixConfiguration::clearMetadataFromSection(const QString &section)
{
    metadata->clearMetadataFromSection(section);
}

void KestrixConfiguration::clearMetadataFromSection(const QString &section, const QString &key)
{
    metadata->clearMetadataFromSection(section, key);
}

} // namespace kestrix
