#pragma once

#include "crashreporter/support/KXAtomicFeatureFlagStore.h"
#include "crashreporter/support/KXMemoryFeatureFlagStore.h"
#include "crashreporter/support/KXPersistentFeatureFlagStore.h"

#include <memory>
#include <mutex>

namespace kestrix {

// Keeps the three stores in step: memory (what events carry), files (what the next launch reads)
// and the crash-time list.
class KXCompositeFeatureFlagStore : public KXFeatureFlagStore
{
public:
    KXCompositeFeatureFlagStore(KXMemoryFeatureFlagStore memoryStore,
                                std::unique_ptr<KXPersistentFeatureFlagStore> persistentStore,
                                KXAtomicFeatureFlagStore &atomicStore);

    KestrixFeatureFlags allFlags() const override;
    bool isEmpty() const override;
    void addFeatureFlag(const QString &name, const std::optional<QString> &variant) override;
    void addFeatureFlags(const KestrixFeatureFlags &flags) override;
    using KXFeatureFlagStore::clear;
    void clear(const std::optional<QString> &name) override;

    // The previous run's flags, until synchronizeFlagsWithMemoryStore() replaces them.
    KestrixFeatureFlags persistedFlags() const;
    KXMemoryFeatureFlagStore copyMemoryStore() const;
    // Makes the file and crash-time stores hold exactly the memory store's flags.
    void synchronizeFlagsWithMemoryStore();

private:
    KXMemoryFeatureFlagStore m_memoryStore;
    std::unique_ptr<KXPersistentFeatureFlagStore> m_persistentStore;
    KXAtomicFeatureFlagStore &m_atomicStore;
    // Changes from several threads reach the three stores in the same order.
    std::mutex m_mutex;
};

} // namespace kestrix
