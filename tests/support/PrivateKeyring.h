#pragma once

#include "EmptySessionBus.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace plimsy::test {

// A Secret Service of the test's own: a gnome-keyring on a private session bus that can start no other
// program, so when the keyring asks the user to unlock it, the prompt fails at once, as if the user had
// dismissed it. The process is switched over to that bus: make one before the test talks to any bus.
class PrivateKeyring
{
public:
    PrivateKeyring();
    ~PrivateKeyring();

    // Whether the bus and the keyring came up (unlocked).
    bool isRunning() const { return m_isRunning; }

    // Locks the default collection, as a screen lock or the user would.
    bool lock();
    // Unlocks it with its password, as the user would in the unlock prompt.
    bool unlock();

    // How many times the Secret Service was asked to unlock something (each ask is one prompt), counting
    // every call made before this one.
    int unlockCalls();

private:
    bool start();
    QString defaultCollection() const;
    // Waits until the bus monitor has reported a marker call sent now: every earlier call has been seen.
    bool syncMonitor();

    EmptySessionBus m_bus;
    QTemporaryDir m_folder;
    QString m_connectionName;
    QProcess m_keyring;
    QProcess m_monitor;
    QByteArray m_monitored;
    int m_pingsSent = 0;
    bool m_isRunning = false;

    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;
};

} // namespace plimsy::test
