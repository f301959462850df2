#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace plimsy {

class EditorPageClient;
class EditorWebPage;

// The web engine, in a module of its own that is loaded the first time a window shows a web page: its
// libraries alone take longer to load and map more memory than the rest of the tray's start-up.
class WebEngineModule
{
public:
    // The editor page at `pageUrl` in a new web view, child of `parent`.
    virtual EditorWebPage *createEditorPage(const QUrl &pageUrl, EditorPageClient &client, QWidget *parent) = 0;
    // A web view, child of `parent`, loading `url` unless it is empty and staying on its origin; addresses
    // elsewhere go to `openElsewhere`.
    virtual QWidget *
    createBrowserView(const QUrl &url, std::function<void(const QUrl &)> openElsewhere, QWidget *parent) = 0;

    // Loads the module on first use (GUI thread); null with `failure` set when it cannot be loaded.
    static WebEngineModule *load(QString *failure);
    // <executable dir>/../lib/plimsy/<module file>, beside the editor page's share folder.
    static QString path();

protected:
    ~WebEngineModule() = default;
};

} // namespace plimsy

// The module's one entry point.
#define PLIMSY_WEBENGINE_ENTRY "plimsyWebEngineModule"
