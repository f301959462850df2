#include "editor/MonacoWebView.h"

#include "editor/MonacoEditorView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEnginePage>

namespace plimsy {

MonacoWebView::MonacoWebView(MonacoEditorView *monacoEditor, QWidget *parent)
    : QWebEngineView(parent)
    , m_monacoEditor(monacoEditor)
{
}

QMenu *MonacoWebView::createEditorContextMenu()
{
    auto *menu = new QMenu(this);
    const bool readOnly = m_monacoEditor && m_monacoEditor->isReadOnly();
    const QPointer<MonacoEditorView> editor = m_monacoEditor;

    QAction *find = menu->addAction(QStringLiteral("Find..."), this, [editor] {
        if (editor) {
            editor->showFind();
        }
    });
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    if (!readOnly) {
        QAction *replace = menu->addAction(QStringLiteral("Find and Replace..."), this, [editor] {
            if (editor) {
                editor->showFindReplace();
            }
        });
        replace->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    }
    menu->addSeparator();

    // Undo, redo and select all go to the editor's own commands; the clipboard goes through the page, as
    // the keyboard's shortcuts do.
    const auto command = [this, editor](const char *name) {
        return [this, editor, name] {
            if (editor) {
                page()->runJavaScript(QStringLiteral("runEditorCommand('%1')").arg(QLatin1String(name)));
            }
        };
    };
    const auto pageAction = [this](QWebEnginePage::WebAction action) {
        return [this, action] { page()->triggerAction(action); };
    };
    if (!readOnly) {
        menu->addAction(QStringLiteral("Undo"), this, command("undo"))->setShortcut(QKeySequence::Undo);
        menu->addAction(QStringLiteral("Redo"), this, command("redo"))->setShortcut(QKeySequence::Redo);
        menu->addSeparator();
        menu->addAction(QStringLiteral("Cut"), this, pageAction(QWebEnginePage::Cut))->setShortcut(QKeySequence::Cut);
    }
    menu->addAction(QStringLiteral("Copy"), this, pageAction(QWebEnginePage::Copy))->setShortcut(QKeySequence::Copy);
    if (!readOnly) {
        menu->addAction(QStringLiteral("Paste"), this, pageAction(QWebEnginePage::Paste))
            ->setShortcut(QKeySequence::Paste);
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Select All"), this, command("selectAll"))->setShortcut(QKeySequence::SelectAll);
    return menu;
}

void MonacoWebView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createEditorContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace plimsy
