// Uploads the user's public SSH key to a server, so that the terminal items can log in as "forge".
#include "core/RunDetached.h"
#include "core/Server.h"
#include "core/TextFile.h"
#include "menu/ForgeAction.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"

#include <QDir>
#include <QFileInfo>

namespace plimsy {

void StatusMenuController::createSSHKey(QAction *sender)
{
    const auto data = clickedRepresenter(sender);
    if (!data || !data->account) {
        return;
    }
    const auto server = Server::find(data->serverId, m_appState.servers());
    if (!server || !server->organizationSlug) {
        return;
    }
    const Account &account = *data->account;
    const QString path = QDir::home().filePath(QStringLiteral(".ssh/id_rsa.pub"));
    if (!QFileInfo::exists(path)) {
        showErrorAlert(account,
                       QStringLiteral("Create a SSH keypair first"),
                       QStringLiteral("Run ssh-keygen -t rsa in your terminal first."));
        return;
    }
    const auto key = readUtf8File(path);
    if (!key) {
        showErrorAlert(account,
                       QStringLiteral("Could not read public key from user's home folder"),
                       QStringLiteral("Check your permissions"));
        return;
    }
    ForgeAction action;
    action.send = [serverId = server->id, slug = *server->organizationSlug, key = *key](ForgeAPIController &forge) {
        return forge.uploadSSHKey(serverId, slug, key);
    };
    action.failureTitle = QStringLiteral("Could not add SSH key");
    action.successTitle = QStringLiteral("SSH key uploaded to Forge");
    action.successDetail = QStringLiteral("This user's public SSH key is added to Laravel Forge");
    runDetached(runForgeAction(this, account, std::move(action)));
}

} // namespace plimsy
