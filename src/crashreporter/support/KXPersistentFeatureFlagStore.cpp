#include "crashreporter/support/KXPersistentFeatureFlagStore.h"

#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace kestrix {

KXPersistentFeatureFlagStore::KXPersistentFeatureFlagStore(QString directoryPath)
    : m_directoryPath(std::move(directoryPath))
{
}

QString KXPersistentFeatureFlagStore::pathForName(const QString &name) const
{
    // Letters and digits only: no "/", "." or "~" may shape the path.
    QByteArray encoded;
    for (const char byte : name.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            encoded += byte;
        } else {
            encoded += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        }
    }
    return QDir(m_directoryPath).filePath(QStringLiteral("%1.json").arg(QString::fromLatin1(encoded)));
}

QStringList KXPersistentFeatureFlagStore::paths() const
{
    const QDir directory(m_directoryPath);
    if (!directory.exists()) {
        kxLogError(QStringLiteral("Unable to get paths for feature flags: %1 does not exist").arg(m_directoryPath));
        return {};
    }
    QStringList paths;
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        paths << directory.filePath(name);
    }
    return paths;
}

KestrixFeatureFlags KXPersistentFeatureFlagStore::allFlags() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::pair<uint64_t, KestrixFeatureFlag>> stored;
    for (const QString &path : paths()) {
        QString error;
        const auto object = KXJSONSerialization::readObjectFromFile(path, &error);
        if (!object) {
            kxLogError(QStringLiteral("Unable to decode feature flag: %1: %2").arg(path, error));
            continue;
        }
        const QJsonValue variant = object->value(QStringLiteral("variant"));
        stored.emplace_back(static_cast<uint64_t>(object->value(QStringLiteral("index")).toInteger()),
                            KestrixFeatureFlag{object->value(QStringLiteral("featureFlag")).toString(),
                                               variant.isString() ? std::optional(variant.toString()) : std::nullopt});
    }
    std::stable_sort(stored.begin(), stored.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    KestrixFeatureFlags flags;
    for (auto &entry : stored) {
        flags.push_back(std::move(entry.second));
    }
    return flags;
}

bool KXPersistentFeatureFlagStore::isEmpty() const
{
    std::lock_guard lock(m_mutex);
    return paths().isEmpty();
}

void KXPersistentFeatureFlagStore::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    std::lock_guard lock(m_mutex);
    QJsonObject object{{QStringLiteral("featureFlag"), name},
                       {QStringLiteral("index"), static_cast<qint64>(m_currentIndex++)}};
    if (variant) {
        object.insert(QStringLiteral("variant"), *variant);
    }
    QString error;
    if (!KXFileSystemQueue::writeFile(
            pathForName(name), QJsonDocument(object).toJson(QJsonDocument::Compact), &error)) {
        kxLogError(QStringLiteral("Unable to save feature flag: %1").arg(error));
    }
}

void KXPersistentFeatureFlagStore::clear(const std::optional<QString> &name)
{
    std::lock_guard lock(m_mutex);
    const QStringList doomed = name ? QStringList{pathForName(*name)} : paths();
    for (const QString &path : doomed) {
        QFile file(path);
        if (!file.remove() && file.exists()) {
            kxLogError(QStringLiteral("Unable to delete a feature flag file: %1").arg(file.errorString()));
        }
    }
}

} // namespace kestrix
