#pragma once

namespace plimsy {

// Sets up the web engine for the editor windows; call it before the QApplication is created.
// Every editor window loads the same local page, so they share one renderer process: a second window
// then finds the editor's scripts already compiled and opens in about half the time, in less memory.
void prepareEditorWebEngine();

} // namespace plimsy
