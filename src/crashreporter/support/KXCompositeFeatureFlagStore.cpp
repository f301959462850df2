#include "crashreporter/support/KXCompositeFeatureFlagStore.h"

namespace kestrix {

KXCompositeFeatureFlagStore::KXCompositeFeatureFlagStore(KXMemoryFeatureFlagStore memoryStore,
                                                         std::unique_ptr<KXPersistentFeatureFlagStore> persistentStore,
                                                         KXAtomicFeatureFlagStore &atomicStore)
    : m_memoryStore(std::move(memoryStore))
    , m_persistentStore(std::move(persistentStore))
    , m_atomicStore(atomicStore)
{
}

KestrixFeatureFlags KXCompositeFeatureFlagStore::allFlags() const
{
    return m_memoryStore.allFlags();
}

bool KXCompositeFeatureFlagStore::isEmpty() const
{
    return m_memoryStore.isEmpty();
}

void KXCompositeFeatureFlagStore::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    std::lock_guard lock(m_mutex);
    m_atomicStore.addFeatureFlag(name, variant);
    m_memoryStore.addFeatureFlag(name, variant);
    m_persistentStore->addFeatureFlag(name, variant);
}

void KXCompositeFeatureFlagStore::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    std::lock_guard lock(m_mutex);
    m_atomicStore.addFeatureFlags(flags);
    m_memoryStore.addFeatureFlags(flags);
    m_persistentStore->addFeatureFlags(flags);
}

void KXCompositeFeatureFlagStore::clear(const std::optional<QString> &name)
{
    std::lock_guard lock(m_mutex);
    m_atomicStore.clear(name);
    m_memoryStore.clear(name);
    m_persistentStore->clear(name);
}

KestrixFeatureFlags KXCompositeFeatureFlagStore::persistedFlags() const
{
    return m_persistentStore->allFlags();
}

KXMemoryFeatureFlagStore KXCompositeFeatureFlagStore::copyMemoryStore() const
{
    return m_memoryStore;
}

void KXCompositeFeatureFlagStore::synchronizeFlagsWithMemoryStore()
{
    std::lock_guard lock(m_mutex);
    const KestrixFeatureFlags flags = m_memoryStore.allFlags();
    m_atomicStore.clear();
    m_persistentStore->clear();
    m_atomicStore.addFeatureFlags(flags);
    m_persistentStore->addFeatureFlags(flags);
}

} // namespace kestrix
