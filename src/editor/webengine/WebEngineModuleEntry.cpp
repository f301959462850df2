#include "editor/WebEngineModule.h"
#include "editor/webengine/AnnouncementPage.h"
#include "editor/webengine/MonacoWebView.h"

#include <QWebEngineView>

namespace plimsy {

namespace {

class WebEngineModuleImpl final : public WebEngineModule
{
public:
    EditorWebPage *createEditorPage(const QUrl &pageUrl, EditorPageClient &client, QWidget *parent) override
    {
        return new MonacoWebView(pageUrl, client, parent);
    }

    QWidget *
    createBrowserView(const QUrl &url, std::function<void(const QUrl &)> openElsewhere, QWidget *parent) override
    {
        auto *view = new QWebEngineView(parent);
        view->setPage(new AnnouncementPage(url, std::move(openElsewhere), view));
        if (!url.isEmpty()) {
            view->load(url);
        }
        return view;
    }
};

} // namespace

} // namespace plimsy

extern "C" Q_DECL_EXPORT plimsy::WebEngineModule *plimsyWebEngineModule()
{
    static plimsy::WebEngineModuleImpl module;
    return &module;
}
