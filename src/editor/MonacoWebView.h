#pragma once

#include <QPointer>
#include <QWebEngineView>

class QMenu;

namespace plimsy {

class MonacoEditorView;

// The web view of the editor page. Its context menu holds the editing commands and the find commands,
// nothing that would navigate or inspect the page.
class MonacoWebView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit MonacoWebView(MonacoEditorView *monacoEditor, QWidget *parent = nullptr);

    MonacoEditorView *monacoEditor() const { return m_monacoEditor; }

    // "Find..." first; then, unless the editor is read-only, "Find and Replace..."; a separator; then the
    // edit commands that fit the editor's mode. The caller owns the menu.
    QMenu *createEditorContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QPointer<MonacoEditorView> m_monacoEditor;

    Q_DISABLE_COPY_MOVE(MonacoWebView)
};

} // namespace plimsy
