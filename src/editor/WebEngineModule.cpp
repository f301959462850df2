#include "editor/WebEngineModule.h"

#include "editor/EditorWebEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace plimsy {

QString WebEngineModule::path()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../lib/plimsy/" PLIMSY_WEBENGINE_MODULE_FILE));
}

WebEngineModule *WebEngineModule::load(QString *failure)
{
    // Asked every time, before anything of the engine runs: started here, it would end the process.
    if (const std::optional<QString> refusal = webEngineRefusal()) {
        if (failure) {
            *failure = *refusal;
        }
        return nullptr;
    }
    // Tried once: a module that failed to load fails the same way again.
    static QString s_failure;
    static WebEngineModule *const s_module = []() -> WebEngineModule * {
        // Named plainly: for a missing file the loader's own message names the last variant it tried
        // (a "lib"-prefixed name in a hardware-capability folder), not the file that is missing.
        if (!QFileInfo::exists(path())) {
            s_failure = path() + QStringLiteral(": no such file");
            return nullptr;
        }
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
