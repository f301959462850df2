#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace plimsy {

// Sets up the web engine for the editor windows; call it before the QApplication is created.
// Every editor window loads the same local page, so they share one renderer process: a second window
// then finds the editor's scripts already compiled and opens in about half the time, in less memory.
void prepareEditorWebEngine();

// Whether the web engine would refuse to start, and end the whole process on the way: as the superuser
// it runs only with its sandbox turned off, by QTWEBENGINE_DISABLE_SANDBOX or "--no-sandbox" among
// QTWEBENGINE_CHROMIUM_FLAGS.
bool webEngineSandboxForbids(bool superuser, const QProcessEnvironment &environment);

// Why no web page can be shown in this process, with how to allow it; none when the web engine may start.
std::optional<QString> webEngineRefusal();

} // namespace plimsy
