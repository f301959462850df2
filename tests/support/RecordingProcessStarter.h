#pragma once

#include "platform/ProcessStarter.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace plimsy::test {

// Remembers the programs the code under test starts instead of starting them.
class RecordingProcessStarter final : public ProcessStarter
{
public:
    struct Started
    {
        QString program;
        QStringList arguments;
        QString workingDirectory;
    };

    bool starts = true; // what startDetached answers

    bool startDetached(const QString &program, const QStringList &arguments, const QString &workingDirectory) override
    {
        started.append({program, arguments, workingDirectory});
        return starts;
    }

    QList<Started> started;
};

} // namespace plimsy::test
