#include "editor/MonacoMessageHandler.h"

#include "core/RunDetached.h"
#include "editor/MonacoEditorDelegate.h"
#include "editor/MonacoEditorView.h"

namespace plimsy {

namespace {

// The page's save hands over no text: ask for it, and save only a text.
QCoro::Task<> saveCurrentText(QPointer<MonacoEditorView> view)
{
    const std::optional<QString> text = co_await view->content();
    if (!view || !text) {
        co_return;
    }
    if (MonacoEditorDelegate *delegate = view->delegate()) {
        delegate->editorDidRequestSave(*text);
    }
}

} // namespace

MonacoMessageHandler::MonacoMessageHandler(MonacoEditorView *editorView, QObject *parent)
    : QObject(parent)
    , m_editorView(editorView)
{
}

void MonacoMessageHandler::didReceiveScriptMessage(const QString &name)
{
    MonacoEditorView *view = m_editorView;
    if (!view) {
        return;
    }
    if (name == QLatin1String("editorReady")) {
        view->editorDidBecomeReady();
        return;
    }
    MonacoEditorDelegate *delegate = view->delegate();
    if (!delegate) {
        return;
    }
    if (name == QLatin1String("contentChanged")) {
        delegate->contentDidChange();
    } else if (name == QLatin1String("save")) {
        runDetached(saveCurrentText(view));
    } else if (name == QLatin1String("close")) {
        delegate->editorDidRequestClose();
    } else if (name == QLatin1String("reload")) {
        delegate->editorDidRequestReload();
    }
}

} // namespace plimsy
