#include "editor/EditorWebEngine.h"
#include "editor/MonacoEditorView.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>

// Child program for the module test: opens an editor and prints the line it shows in the editor's place.
// The test runs a copy of it from a folder where the web engine module is missing or broken.
int main(int argc, char *argv[])
{
    plimsy::prepareEditorWebEngine();
    QApplication app(argc, argv);
    plimsy::MonacoEditorView view;
    view.show();
    const auto *line = view.findChild<QLabel *>(QStringLiteral("editorFailureLabel"));
    if (!line || !line->isVisible()) {
        std::puts("no failure line");
        return 1;
    }
    std::printf("shown: %s\n", qUtf8Printable(line->text()));
    return 0;
}
