#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace plimsy {

class MonacoEditorView;

// Where the page's messages arrive: every window.webkit.messageHandlers.NAME call of the page comes here
// with its name. Names outside the protocol's five are ignored.
class MonacoMessageHandler : public QObject
{
    Q_OBJECT

public:
    explicit MonacoMessageHandler(MonacoEditorView *editorView, QObject *parent = nullptr);

    // One message of the page; its body is never read.
    void didReceiveScriptMessage(const QString &name);

private:
    QPointer<MonacoEditorView> m_editorView;

    Q_DISABLE_COPY_MOVE(MonacoMessageHandler)
};

} // namespace plimsy
