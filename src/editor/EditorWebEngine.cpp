#include "editor/EditorWebEngine.h"

#include "platform/Superuser.h"

#include <QByteArray>
#include <QCoreApplication>

namespace plimsy {

void prepareEditorWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Flags the user set are kept; the engine reads them once, when the first page is made.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--process-per-site")) {
        flags = flags.isEmpty() ? QByteArray("--process-per-site") : flags + " --process-per-site";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

bool webEngineSandboxForbids(bool superuser, const QProcessEnvironment &environment)
{
    if (!superuser || !environment.value(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX")).isEmpty()) {
        return false;
    }
    const QStringList flags = environment.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")).split(u' ');
    return !flags.contains(QStringLiteral("--no-sandbox"));
}

std::optional<QString> webEngineRefusal()
{
    if (!webEngineSandboxForbids(isSuperuser(), QProcessEnvironment::systemEnvironment())) {
        return std::nullopt;
    }
    return QStringLiteral("Plimsy runs as root, and the web engine that shows the editor does not run as root "
                          "with its sandbox on. To allow it, start Plimsy with the environment variable "
                          "QTWEBENGINE_DISABLE_SANDBOX=1.");
}

} // namespace plimsy
