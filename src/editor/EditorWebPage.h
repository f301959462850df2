#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class QColor;
class QPoint;
class QWidget;

namespace plimsy {

// What the editor page's web view reports to the editor that hosts it; every call comes on the GUI thread.
class EditorPageClient
{
public:
    virtual void pageLoadFinished(bool ok) = 0;
    // The page's process ended other than normally; the page answers nothing any more.
    virtual void pageProcessEnded(int exitCode) = 0;
    // A window.webkit.messageHandlers.NAME post of the page; its body is never read.
    virtual void pageMessage(const QString &name) = 0;
    // An error the page's own scripts logged.
    virtual void pageScriptError(const QString &message, int lineNumber, const QString &sourceID) = 0;
    // A link the user followed, in place or in a new window; the page itself stays.
    virtual void pageLinkActivated(const QUrl &url) = 0;
    virtual void pageContextMenuRequested(const QPoint &globalPos) = 0;

protected:
    ~EditorPageClient() = default;
};

// The editor page in a web view, made by the web engine module. The view is a child of the parent it was
// made with, which owns it and this; the client must outlive both.
class EditorWebPage
{
public:
    enum class EditAction
    {
        Cut,
        Copy,
        Paste,
    };

    virtual QWidget *widget() = 0;
    virtual void loadPage(const QUrl &url) = 0;
    // Runs a script in the page; `answer`, when given, gets its result later, from the event loop.
    virtual void runScript(const QString &script, std::function<void(const QVariant &)> answer = {}) = 0;
    virtual void setPageBackground(const QColor &color) = 0;
    virtual void triggerEditAction(EditAction action) = 0;
    // The renderer process's id; 0 while it has none.
    virtual qint64 renderProcessPid() const = 0;
    // The page goes before the application does: the web engine's profile refuses to go while pages live.
    // Nothing reaches the page or the client afterwards.
    virtual void releasePage() = 0;

protected:
    ~EditorWebPage() = default;
};

} // namespace plimsy
