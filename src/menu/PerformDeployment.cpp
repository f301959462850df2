#include "menu/PerformDeployment.h"

#include "core/RunDetached.h"
#include "menu/ForgeAction.h"
#include "menu/StatusMenuController.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationActivation.h"

namespace plimsy {

namespace {

const QString DeployFailureTitle = QStringLiteral("Could not deploy site");

QCoro::Task<> confirmThenDeploy(PerformDeployment deployment)
{
    if (!deployment.delegate || !deployment.data.account) {
        co_return;
    }
    // A tray application's alert would otherwise open behind the window in front.
    ApplicationActivation::activate();
    const Alert question{QStringLiteral("Are you sure you want to deploy?"),
                         QStringLiteral("This will deploy ")
                             + deployment.site.name.value_or(QStringLiteral("this site")),
                         Alert::Style::Warning,
                         {QStringLiteral("Deploy Now"), QStringLiteral("Cancel")}};
    const int answer = co_await deployment.delegate->alerts().ask(question);
    if (answer != 0 || !deployment.delegate) {
        co_return;
    }
    const Account &account = *deployment.data.account;
    if (!deployment.server.organizationSlug) {
        deployment.delegate->showErrorAlert(
            account, DeployFailureTitle, QStringLiteral("Server is missing organization information"));
        co_return;
    }
    ForgeAction action;
    action.send =
        [serverId = deployment.data.serverId, siteId = deployment.site.id, slug = *deployment.server.organizationSlug](
            ForgeAPIController &forge) { return forge.deploy(serverId, siteId, slug); };
    action.failureTitle = DeployFailureTitle;
    co_await runForgeAction(deployment.delegate, account, std::move(action));
}

} // namespace

void PerformDeployment::confirmAndDeploy() const
{
    runDetached(confirmThenDeploy(*this));
}

// The menu action lives here with the deployment it makes.
void StatusMenuController::deploySite(QAction *sender)
{
    // A deploy counts as activity: no auto-refresh right under the user's hands.
    noteUserActivity();
    const auto data = clickedRepresenter(sender);
    if (!data || !data->account || m_appState.isLoadingData()) {
        return;
    }
    const auto server = Server::find(data->serverId, m_appState.servers());
    if (!server || !data->siteId) {
        return;
    }
    const auto site = Site::find(*data->siteId, m_appState.sites());
    if (!site) {
        return;
    }
    m_performDeployment = PerformDeployment{*data, *server, *site, this};
    m_performDeployment->confirmAndDeploy();
    ApplicationActivation::activate();
}

} // namespace plimsy
