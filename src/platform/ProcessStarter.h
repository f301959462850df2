#pragma once

#include <QString>
#include <QStringList>

namespace plimsy {

// Starts programs that outlive the call, such as terminal applications. The arguments reach the
// program exactly as given: no shell is involved. Tests pass one that records instead.
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;

    // False when the program could not be started. An empty `workingDirectory` keeps ours.
    virtual bool
    startDetached(const QString &program, const QStringList &arguments, const QString &workingDirectory) = 0;

    // Real processes through QProcess.
    static ProcessStarter &system();
};

} // namespace plimsy
