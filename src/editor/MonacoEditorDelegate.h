#pragma once

#include <QString>

namespace plimsy {

// What the editor page's messages become: calls on the window that hosts the editor.
class MonacoEditorDelegate
{
public:
    virtual ~MonacoEditorDelegate() = default;

    // The user changed the text (never the host's own setContent).
    virtual void contentDidChange() = 0;
    // The user asked inside the page to save; `text` is the editor's text at that moment.
    virtual void editorDidRequestSave(const QString &text) = 0;
    virtual void editorDidRequestClose() = 0;
    virtual void editorDidRequestReload() = 0;
};

} // namespace plimsy
