#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace plimsy::test {

class StatusNotifierWatcherObject;

// A desktop's StatusNotifier watcher on the session bus: owns its name while it exists, says whether a
// host is registered and records the items that register. It serves from a thread and a bus connection of
// its own, so the application's blocking questions to it are answered while the test's thread waits.
class FakeStatusNotifierWatcher
{
public:
    explicit FakeStatusNotifierWatcher(bool hasHost = true);
    ~FakeStatusNotifierWatcher();

    // False when the name was taken already.
    bool isRunning() const;
    // A host registers or goes, with the watcher's signal.
    void setHost(bool hasHost);
    QStringList registeredItems() const;

private:
    QThread m_thread;
    StatusNotifierWatcherObject *m_object;

    Q_DISABLE_COPY_MOVE(FakeStatusNotifierWatcher)
};

} // namespace plimsy::test
