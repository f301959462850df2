#include "crashreporter/support/KXAtomicFeatureFlagStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace kestrix {

struct KXAtomicFeatureFlagStore::Node
{
    std::atomic<Node *> next;
    std::atomic<Node *> previous;
    // The zero-terminated JSON text follows the node in the same block.
    char *json() { return reinterpret_cast<char *>(this + 1); }
};

namespace {

std::atomic<KXAtomicFeatureFlagStore::Node *> s_head{nullptr};
std::atomic<KXAtomicFeatureFlagStore::Node *> s_tail{nullptr};
std::atomic<bool> s_crashWriterBusy{false};

// A link may change only while the crash-time writer is not walking the list.
void waitForCrashWriter()
{
    while (s_crashWriterBusy.load()) {
        std::this_thread::yield();
    }
}

} // namespace

KXAtomicFeatureFlagStore &KXAtomicFeatureFlagStore::store()
{
    static KXAtomicFeatureFlagStore *instance = new KXAtomicFeatureFlagStore();
    return *instance;
}

bool KXAtomicFeatureFlagStore::isEmpty() const
{
    return s_head.load() == nullptr;
}

void KXAtomicFeatureFlagStore::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    QJsonObject object{{QStringLiteral("featureFlag"), name}};
    if (variant) {
        object.insert(QStringLiteral("variant"), *variant);
    }
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    void *block = calloc(1, sizeof(Node) + static_cast<size_t>(json.size()) + 1);
    if (block == nullptr) {
        return;
    }
    auto *node = new (block) Node{{nullptr}, {nullptr}};
    memcpy(node->json(), json.constData(), static_cast<size_t>(json.size()));

    std::lock_guard lock(m_mutex);
    removeLocked(name);
    waitForCrashWriter();
    Node *tail = s_tail.load();
    node->previous.store(tail);
    if (tail == nullptr) {
        s_head.store(node);
    } else {
        tail->next.store(node);
    }
    s_tail.store(node);
    m_nodes.insert(name, node);
}

void KXAtomicFeatureFlagStore::removeLocked(const QString &name)
{
    Node *node = m_nodes.take(name);
    if (node == nullptr) {
        return;
    }
    waitForCrashWriter();
    Node *previous = node->previous.load();
    Node *next = node->next.load();
    if (previous == nullptr) {
        s_head.store(next);
    } else {
        previous->next.store(next);
    }
    if (next == nullptr) {
        s_tail.store(previous);
    } else {
        next->previous.store(previous);
    }
    waitForCrashWriter();
    free(node);
}

void KXAtomicFeatureFlagStore::clear(const std::optional<QString> &name)
{
    std::lock_guard lock(m_mutex);
    if (name) {
        removeLocked(*name);
        return;
    }
    waitForCrashWriter();
    Node *node = s_head.exchange(nullptr);
    s_tail.store(nullptr);
    m_nodes.clear();
    waitForCrashWriter();
    while (node != nullptr) {
        Node *next = node->next.load();
        free(node);
        node = next;
    }
}

void KXAtomicFeatureFlagStore::writeCrashTime(const KXCrashReportWriter *writer)
{
    s_crashWriterBusy.store(true);
    writer->beginArray(writer, "featureFlags");
    for (Node *node = s_head.load(); node != nullptr; node = node->next.load()) {
        writer->addJSONElement(writer, nullptr, node->json());
    }
    writer->endContainer(writer);
    s_crashWriterBusy.store(false);
}

} // namespace kestrix
