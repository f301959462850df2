#include "editor/EditorWebEngine.h"

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

} // namespace plimsy
