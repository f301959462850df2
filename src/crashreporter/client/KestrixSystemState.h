#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrix {

class KestrixConfiguration;

// The app and device of this launch and the count of crashes during launch, kept in one small JSON
// document; the previous launch's document is read first, so that the previous run's events name
// the app and device that ran then. Any thread.
class KestrixSystemState
{
public:
    // Reads the previous document from `persistenceFilePath`, then queues the write of this launch's.
    KestrixSystemState(const KestrixConfiguration &configuration, QString persistenceFilePath);

    // The previous launch's document; empty when there was none or it could not be read.
    QJsonObject lastLaunchState() const;
    // This launch's document, whole.
    QJsonObject currentLaunchState() const;
    uint64_t consecutiveLaunchCrashes() const;
    const QString &persistenceFilePath() const { return m_shared->path; }

    void setValue(const QJsonValue &value, const QString &key, const QString &section);
    void setValueForAppKey(const QJsonValue &value, const QString &key);
    void setCodeBundleID(const QString &codeBundleId);
    void setConsecutiveLaunchCrashes(uint64_t count);
    // The one way this launch's document changes. Changes in a row cause one write of the latest
    // document, on the file-system queue.
    void mutateLaunchState(const std::function<void(QJsonObject &)> &change);

    // Writes this launch's document now, on the calling thread.
    void sync();
    // Deletes the file; the previous document is then empty.
    void purge();

    // The document this machine and configuration give: "app" and "device".
    static QJsonObject launchState(const KestrixConfiguration &configuration, const QJsonObject &systemInfo);

private:
    // What a queued write still needs when the object is gone.
    struct Shared
    {
        QString path;
        mutable std::mutex mutex;
        mutable std::mutex writeMutex;
        QJsonObject current;
        std::atomic<bool> writePending{false};

        void sync() const;
    };

    void load();

    std::shared_ptr<Shared> m_shared;
    mutable std::mutex m_lastMutex;
    QJsonObject m_lastLaunchState;
    std::atomic<uint64_t> m_consecutiveLaunchCrashes{0};

    KestrixSystemState(const KestrixSystemState &) = delete;
    KestrixSystemState &operator=(const KestrixSystemState &) = delete;
};

} // namespace kestrix
