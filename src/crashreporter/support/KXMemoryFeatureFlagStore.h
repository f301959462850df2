#pragma once

#include "crashreporter/support/KestrixFeatureFlag.h"

#include <QHash>

#include <mutex>

namespace kestrix {

// Flags in memory in the order they were first added; the flags events carry. Safe from any thread.
class KXMemoryFeatureFlagStore : public KXFeatureFlagStore
{
public:
    KXMemoryFeatureFlagStore() = default;
    KXMemoryFeatureFlagStore(const KXMemoryFeatureFlagStore &other);
    KXMemoryFeatureFlagStore &operator=(const KXMemoryFeatureFlagStore &other);

    static KXMemoryFeatureFlagStore withFlags(const KestrixFeatureFlags &flags);
    static KXMemoryFeatureFlagStore fromJSON(const QJsonValue &json);
    QJsonArray toJSON() const;

    KestrixFeatureFlags allFlags() const override;
    bool isEmpty() const override;
    // A known name keeps its place and takes the new variant.
    void addFeatureFlag(const QString &name, const std::optional<QString> &variant) override;
    void addFeatureFlags(const KestrixFeatureFlags &flags) override;
    using KXFeatureFlagStore::clear;
    void clear(const std::optional<QString> &name) override;

    // Cleared flags leave holes; they are compacted once there are this many.
    static constexpr qsizetype CompactionThreshold = 1000;

private:
    void addLocked(const QString &name, const std::optional<QString> &variant);

    mutable std::mutex m_mutex;
    std::vector<std::optional<KestrixFeatureFlag>> m_flags;
    QHash<QString, qsizetype> m_indices;
};

} // namespace kestrix
