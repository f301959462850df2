#pragma once

#include <QString>

namespace kestrix {

// Every path the crash reporter keeps, under one versioned root in Application Support.
class KXFileLocations
{
public:
    // Made once and shared.
    static const KXFileLocations &current();
    // A fresh set; creates the directories.
    static KXFileLocations v1();

    // Reports a directory that cannot be created (once per process): class, context, message.
    using InternalErrorReporter = void (*)(const QString &errorClass, const QString &context, const QString &message);
    static void setInternalErrorReporter(InternalErrorReporter reporter);

    QString breadcrumbs;
    QString events;
    QString crashCoreReports;
    QString sessions;
    QString featureFlags;
    QString appHangEvent;
    QString flagHandledCrash;
    QString configuration;
    QString metadata;
    QString runContext;
    QString state;
    QString systemState;
    QString persistentDeviceID;

private:
    KXFileLocations() = default;
};

} // namespace kestrix
