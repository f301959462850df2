#include "crashreporter/client/KestrixSystemState.h"

#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXPersistentDeviceID.h"
#include "crashreporter/support/KX_SystemInfo.h"

#include <QFile>
#include <QJsonDocument>
#include <QLocale>

namespace kestrix {

namespace {

const QString App = QStringLiteral("app");
const QString Device = QStringLiteral("device");
const QString Internal = QStringLiteral("internal");
const QString ConsecutiveLaunchCrashes = QStringLiteral("consecutiveLaunchCrashes");

QString stringOrEmpty(const QJsonObject &info, const QString &key)
{
    const QJsonValue value = info.value(key);
    return value.isString() ? value.toString() : QString();
}

void copyIfPresent(QJsonObject &to, const QString &key, const QJsonObject &info, const QString &infoKey)
{
    const QJsonValue value = info.value(infoKey);
    if (!value.isUndefined() && !value.isNull()) {
        to.insert(key, value);
    }
}

} // namespace

KestrixSystemState::KestrixSystemState(const KestrixConfiguration &configuration, QString persistenceFilePath)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->path = std::move(persistenceFilePath);
    load();
    m_shared->current = launchState(configuration, KX_SystemInfo::systemInfo());
    const QJsonValue count = m_lastLaunchState.value(Internal).toObject().value(ConsecutiveLaunchCrashes);
    m_consecutiveLaunchCrashes = count.isDouble() && count.toDouble() > 0 ? static_cast<uint64_t>(count.toDouble()) : 0;
    // Off the launch path: the write joins the changes that follow at start.
    mutateLaunchState([](QJsonObject &) {});
}

QJsonObject KestrixSystemState::launchState(const KestrixConfiguration &configuration, const QJsonObject &info)
{
    QJsonObject app{
        {QStringLiteral("id"), stringOrEmpty(info, QStringLiteral("CFBundleIdentifier"))},
        {QStringLiteral("name"), stringOrEmpty(info, QStringLiteral("CFBundleName"))},
        {QStringLiteral("version"), stringOrEmpty(info, QStringLiteral("CFBundleShortVersionString"))},
        {QStringLiteral("bundleVersion"), stringOrEmpty(info, QStringLiteral("CFBundleVersion"))},
        {QStringLiteral("type"), QStringLiteral("linux")},
    };
    if (configuration.releaseStage) {
        app.insert(QStringLiteral("releaseStage"), *configuration.releaseStage);
    }
    copyIfPresent(app, QStringLiteral("machoUUID"), info, QStringLiteral("app_uuid"));
    copyIfPresent(app, QStringLiteral("binaryArch"), info, QStringLiteral("binary_arch"));

    QJsonObject device{
        {QStringLiteral("id"), KXPersistentDeviceID::current().external()},
        {QStringLiteral("wordSize"), 64},
        {QStringLiteral("locale"), QLocale().name()},
        {QStringLiteral("simulator"), false},
        {QStringLiteral("runtimeVersions"),
         QJsonObject{{QStringLiteral("clangVersion"), stringOrEmpty(info, QStringLiteral("clang_version"))},
                     {QStringLiteral("osBuild"), stringOrEmpty(info, QStringLiteral("os_version"))}}},
    };
    copyIfPresent(device, QStringLiteral("jailbroken"), info, QStringLiteral("jailbroken"));
    copyIfPresent(device, QStringLiteral("osBuild"), info, QStringLiteral("os_version"));
    copyIfPresent(device, QStringLiteral("osVersion"), info, QStringLiteral("system_version"));
    copyIfPresent(device, QStringLiteral("osName"), info, QStringLiteral("system_name"));
    copyIfPresent(device, QStringLiteral("model"), info, QStringLiteral("machine"));
    copyIfPresent(device, QStringLiteral("modelNumber"), info, QStringLiteral("model"));
    copyIfPresent(
        device, QStringLiteral("totalMemory"), info.value(QStringLiteral("memory")).toObject(), QStringLiteral("size"));
    return QJsonObject{{App, app}, {Device, device}};
}

void KestrixSystemState::load()
{
    QJsonObject state;
    if (QFile::exists(m_shared->path)) {
        QString error;
        if (const auto read = KXJSONSerialization::readObjectFromFile(m_shared->path, &error)) {
            state = *read;
        } else {
            kxLogError(QStringLiteral("Could not load system_state.json: %1").arg(error));
        }
    }
    std::lock_guard lock(m_lastMutex);
    m_lastLaunchState = state;
}

QJsonObject KestrixSystemState::lastLaunchState() const
{
    std::lock_guard lock(m_lastMutex);
    return m_lastLaunchState;
}

QJsonObject KestrixSystemState::currentLaunchState() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->current;
}

uint64_t KestrixSystemState::consecutiveLaunchCrashes() const
{
    return m_consecutiveLaunchCrashes;
}

void KestrixSystemState::setValue(const QJsonValue &value, const QString &key, const QString &section)
{
    mutateLaunchState([&](QJsonObject &state) {
        QJsonObject values = state.value(section).toObject();
        values.insert(key, value);
        state.insert(section, values);
    });
}

void KestrixSystemState::setValueForAppKey(const QJsonValue &value, const QString &key)
{
    setValue(value, key, App);
}

void KestrixSystemState::setCodeBundleID(const QString &codeBundleId)
{
    setValueForAppKey(codeBundleId, QStringLiteral("codeBundleId"));
}

void KestrixSystemState::setConsecutiveLaunchCrashes(uint64_t count)
{
    m_consecutiveLaunchCrashes = count;
    setValue(static_cast<double>(count), ConsecutiveLaunchCrashes, Internal);
}

void KestrixSystemState::mutateLaunchState(const std::function<void(QJsonObject &)> &change)
{
    bool first = false;
    {
        std::lock_guard lock(m_shared->mutex);
        change(m_shared->current);
        bool idle = false;
        first = m_shared->writePending.compare_exchange_strong(idle, true);
    }
    if (first) {
        KXFileSystemQueue::shared().async([shared = m_shared] {
            shared->writePending = false;
            shared->sync();
        });
    }
}

void KestrixSystemState::sync()
{
    m_shared->sync();
}

void KestrixSystemState::Shared::sync() const
{
    // Snapshots are written in the order they are taken: an older one never lands last.
    std::lock_guard writing(writeMutex);
    QByteArray json;
    {
        std::lock_guard lock(mutex);
        json = QJsonDocument(current).toJson(QJsonDocument::Compact);
    }
    QString error;
    if (!KXFileSystemQueue::writeFile(path, json, &error)) {
        kxLogError(QStringLiteral("System state cannot be written as JSON: %1").arg(error));
    }
}

void KestrixSystemState::purge()
{
    QFile file(m_shared->path);
    if (file.exists() && !file.remove()) {
        kxLogError(QStringLiteral("Could not remove persistence file: %1").arg(file.errorString()));
    }
    load();
}

} // namespace kestrix
