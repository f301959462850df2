#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/support/KestrixFeatureFlag.h"

#include <QHash>

#include <mutex>

namespace kestrix {

// The flags as preformatted JSON in a process-wide linked list, which the crash-time writer copies
// into a report without allocating or locking. Changes wait while that writer reads.
class KXAtomicFeatureFlagStore : public KXFeatureFlagStore
{
public:
    static KXAtomicFeatureFlagStore &store();

    // Only the crash-time writer reads the flags back.
    KestrixFeatureFlags allFlags() const override { return {}; }
    bool isEmpty() const override;
    void addFeatureFlag(const QString &name, const std::optional<QString> &variant) override;
    using KXFeatureFlagStore::clear;
    void clear(const std::optional<QString> &name) override;

    // Writes the array "featureFlags" in list order. Async-signal-safe.
    static void writeCrashTime(const KXCrashReportWriter *writer);

    struct Node;

private:
    KXAtomicFeatureFlagStore() = default;
    void removeLocked(const QString &name);

    std::mutex m_mutex;
    QHash<QString, Node *> m_nodes;

    KXAtomicFeatureFlagStore(const KXAtomicFeatureFlagStore &) = delete;
    KXAtomicFeatureFlagStore &operator=(const KXAtomicFeatureFlagStore &) = delete;
};

} // namespace kestrix
