#include "platform/ProcessStarter.h"

#include <QLoggingCategory>
#include <QProcess>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcProcessStarter, "plimsy.processstarter")

class DetachedProcessStarter final : public ProcessStarter
{
public:
    bool startDetached(const QString &program, const QStringList &arguments, const QString &workingDirectory) override
    {
        const bool started = QProcess::startDetached(program, arguments, workingDirectory);
        if (!started) {
            // The arguments may carry host and user names; the program says enough.
            qCWarning(lcProcessStarter).noquote() << "Could not start" << program;
        }
        return started;
    }
};

} // namespace

ProcessStarter &ProcessStarter::system()
{
    static DetachedProcessStarter s_system;
    return s_system;
}

} // namespace plimsy
