#include "crashreporter/support/KXMemoryFeatureFlagStore.h"

#include "crashreporter/support/KXJSONWriter.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace kestrix {

QJsonArray kxFeatureFlagsToJson(const KestrixFeatureFlags &flags)
{
    KXJSONWriter writer;
    kxWriteFeatureFlags(writer, nullptr, flags);
    return QJsonDocument::fromJson(writer.data()).array();
}

void kxWriteFeatureFlags(KXJSONWriter &writer, const char *key, const KestrixFeatureFlags &flags)
{
    writer.beginArray(key);
    for (const KestrixFeatureFlag &flag : flags) {
        writer.beginObject();
        writer.value("featureFlag", flag.name);
        writer.optional("variant", flag.variant);
        writer.endObject();
    }
    writer.endArray();
}

KestrixFeatureFlags kxFeatureFlagsFromJson(const QJsonValue &json)
{
    KestrixFeatureFlags flags;
    for (const QJsonValue &element : json.toArray()) {
        const QJsonValue name = element.toObject().value(QStringLiteral("featureFlag"));
        if (!name.isString()) {
            continue;
        }
        const QJsonValue variant = element.toObject().value(QStringLiteral("variant"));
        flags.push_back({name.toString(), variant.isString() ? std::optional(variant.toString()) : std::nullopt});
    }
    return flags;
}

void KXFeatureFlagStore::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    for (const KestrixFeatureFlag &flag : flags) {
        addFeatureFlag(flag.name, flag.variant);
    }
}

KXMemoryFeatureFlagStore::KXMemoryFeatureFlagStore(const KXMemoryFeatureFlagStore &other)
{
    std::lock_guard lock(other.m_mutex);
    m_flags = other.m_flags;
    m_indices = other.m_indices;
}

KXMemoryFeatureFlagStore &KXMemoryFeatureFlagStore::operator=(const KXMemoryFeatureFlagStore &other)
{
    if (this != &other) {
        std::scoped_lock lock(m_mutex, other.m_mutex);
        m_flags = other.m_flags;
        m_indices = other.m_indices;
    }
    return *this;
}

KXMemoryFeatureFlagStore KXMemoryFeatureFlagStore::withFlags(const KestrixFeatureFlags &flags)
{
    KXMemoryFeatureFlagStore store;
    store.addFeatureFlags(flags);
    return store;
}

KXMemoryFeatureFlagStore KXMemoryFeatureFlagStore::fromJSON(const QJsonValue &json)
{
    return withFlags(kxFeatureFlagsFromJson(json));
}

QJsonArray KXMemoryFeatureFlagStore::toJSON() const
{
    return kxFeatureFlagsToJson(allFlags());
}

KestrixFeatureFlags KXMemoryFeatureFlagStore::allFlags() const
{
    std::lock_guard lock(m_mutex);
    KestrixFeatureFlags flags;
    flags.reserve(static_cast<size_t>(m_indices.size()));
    for (const auto &flag : m_flags) {
        if (flag) {
            flags.push_back(*flag);
        }
    }
    return flags;
}

bool KXMemoryFeatureFlagStore::isEmpty() const
{
    std::lock_guard lock(m_mutex);
    return m_indices.isEmpty();
}

void KXMemoryFeatureFlagStore::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    std::lock_guard lock(m_mutex);
    addLocked(name, variant);
}

void KXMemoryFeatureFlagStore::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    std::lock_guard lock(m_mutex);
    for (const KestrixFeatureFlag &flag : flags) {
        addLocked(flag.name, flag.variant);
    }
}

void KXMemoryFeatureFlagStore::addLocked(const QString &name, const std::optional<QString> &variant)
{
    const auto known = m_indices.constFind(name);
    if (known != m_indices.constEnd()) {
        m_flags[static_cast<size_t>(*known)] = KestrixFeatureFlag{name, variant};
        return;
    }
    m_indices.insert(name, static_cast<qsizetype>(m_flags.size()));
    m_flags.push_back(KestrixFeatureFlag{name, variant});
}

void KXMemoryFeatureFlagStore::clear(const std::optional<QString> &name)
{
    std::lock_guard lock(m_mutex);
    if (!name) {
        m_flags.clear();
        m_indices.clear();
        return;
    }
    const auto known = m_indices.constFind(*name);
    if (known == m_indices.constEnd()) {
        return;
    }
    m_flags[static_cast<size_t>(*known)].reset();
    m_indices.erase(known);
    if (static_cast<qsizetype>(m_flags.size()) - m_indices.size() < CompactionThreshold) {
        return;
    }
    std::vector<std::optional<KestrixFeatureFlag>> compacted;
    compacted.reserve(static_cast<size_t>(m_indices.size()));
    m_indices.clear();
    for (auto &flag : m_flags) {
        if (flag) {
            m_indices.insert(flag->name, static_cast<qsizetype>(compacted.size()));
            compacted.push_back(std::move(flag));
        }
    }
    m_flags = std::move(compacted);
}

} // namespace kestrix
