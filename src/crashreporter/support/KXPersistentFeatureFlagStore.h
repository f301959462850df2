#pragma once

#include "crashreporter/support/KestrixFeatureFlag.h"

#include <QStringList>

#include <cstdint>
#include <mutex>

namespace kestrix {

// One small JSON file per flag, so that the next launch knows the flags of the run whose crash
// report it sends. File names are the flag names with everything but letters and digits escaped.
class KXPersistentFeatureFlagStore : public KXFeatureFlagStore
{
public:
    explicit KXPersistentFeatureFlagStore(QString directoryPath);

    // The stored flags in the order they were added.
    KestrixFeatureFlags allFlags() const override;
    bool isEmpty() const override;
    void addFeatureFlag(const QString &name, const std::optional<QString> &variant) override;
    using KXFeatureFlagStore::clear;
    void clear(const std::optional<QString> &name) override;

    QString pathForName(const QString &name) const;

private:
    QStringList paths() const;

    QString m_directoryPath;
    uint64_t m_currentIndex = 0;
    mutable std::mutex m_mutex;
};

} // namespace kestrix
