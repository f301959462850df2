#pragma once

#include "account/AuthManager.h"
#include "core/RunDetached.h"
#include "platform/HttpSession.h"
#include "platform/UrlOpener.h"

#include <QNetworkRequest>
#include <QPointer>

namespace plimsy::test {

// Stands in for the browser of a sign-in: loads the sign-in page the application opens and hands the
// page's redirect back into the application, as the desktop would hand over the "plimsy:" link.
class SignInPageVisitor final : public UrlOpener
{
public:
    QPointer<AuthManager> manager;
    int lastStatus = 0;

    bool openUrl(const QUrl &url) override
    {
        runDetached(visit(url));
        return true;
    }

private:
    QCoro::Task<> visit(QUrl url)
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        const HttpResponse response = co_await HttpSession::shared().send(request);
        lastStatus = response.statusCode;
        if (manager) {
            manager->handleCallback(QUrl(QString::fromUtf8(response.header("Location"))));
        }
    }
};

} // namespace plimsy::test
