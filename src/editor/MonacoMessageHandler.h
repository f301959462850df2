#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace plimsy {

class MonacoEditorView;

// The host object the page reaches over the web channel: every window.webkit.messageHandlers.NAME call
// of the page arrives here with its name. Names outside the protocol's five are ignored.
class MonacoMessageHandler : public QObject
{
    Q_OBJECT

public:
    // The name the page's shim looks the object up by.
    static constexpr const char *ChannelName = "plimsyHost";

    explicit MonacoMessageHandler(MonacoEditorView *editorView, QObject *parent = nullptr);

    // Called by the page; the message body is never read.
    Q_INVOKABLE void didReceiveScriptMessage(const QString &name);

private:
    QPointer<MonacoEditorView> m_editorView;

    Q_DISABLE_COPY_MOVE(MonacoMessageHandler)
};

} // namespace plimsy
