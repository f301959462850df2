#pragma once

#include <QString>

namespace kestrix {

// A stable, anonymous device identifier derived from hardware facts, kept in a file.
class KXPersistentDeviceID
{
public:
    KXPersistentDeviceID(QString external, QString internal);

    // Loaded once per process from the shared storage location.
    static const KXPersistentDeviceID &current();
    // Loads from `path`, creating and storing whichever identifier is missing.
    static KXPersistentDeviceID load(const QString &path);

    QString external() const { return m_external; }
    QString internal() const { return m_internal; }

private:
    QString m_external;
    QString m_internal;
};

} // namespace kestrix
