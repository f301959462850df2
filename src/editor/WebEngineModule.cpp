#include "editor/WebEngineModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace plimsy {

QString WebEngineModule::path()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../lib/plimsy/" PLIMSY_WEBENGINE_MODULE_FILE));
}

WebEngineModule *WebEngineModule::load(QString *failure)
{
    // Tried once: a module that failed to load fails the same way again.
    static QString s_failure;
    static WebEngineModule *const s_module = []() -> WebEngineModule * {
        // Never unloaded: the web engine's threads and its renderer's connection live until the process ends.
        QLibrary library(path());
        using Entry = WebEngineModule *(*)();
        const auto entry = reinterpret_cast<Entry>(library.resolve(PLIMSY_WEBENGINE_ENTRY));
        if (!entry) {
            s_failure = library.errorString();
            return nullptr;
        }
        return entry();
    }();
    if (!s_module && failure) {
        *failure = s_failure;
    }
    return s_module;
}

} // namespace plimsy
