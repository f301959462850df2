#pragma once

#include "core/Account.h"
#include "core/Server.h"
#include "core/Site.h"
#include "editor/ConfigurationType.h"
#include "editor/ConfigurationWindowController.h"
#include "editor/ConfigurationWindowDelegate.h"
#include "editor/LogWindowProtocol.h"
#include "forge/ForgeAPIController.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

namespace plimsy {

class AlertPresenter;
class DeploymentScriptFileStore;
class Sleeper;

// The object behind one window on a file of a site or server kept on Forge: loads the text for its kind
// through the account's Forge client and shows it, saves the editable kinds back (an environment file
// optionally followed by clearing the site's caches), reloads, answers the deployment script's file-link
// questions from the file store, and posts "windowClosed" with its uuid when the window closes. The status
// menu keeps it until then. GUI thread.
class ConfigurationWindowDispatcher : public QObject, public LogWindowProtocol, public ConfigurationWindowDelegate
{
    Q_OBJECT

public:
    // What the loads and saves talk through; empty members take the process-wide defaults, given ones
    // must outlive the dispatcher.
    struct Services
    {
        ForgeAPIController::Services forge;
        AlertPresenter *alerts = nullptr;
        // The pauses that keep the cache-clearing status readable.
        Sleeper *sleeper = nullptr;
        DeploymentScriptFileStore *fileStore = nullptr;
    };

    ConfigurationWindowDispatcher(QString uuid,
                                  std::unique_ptr<ConfigurationWindowController> configWindow,
                                  Server server,
                                  std::optional<Site> site,
                                  Account account,
                                  ConfigurationType configType,
                                  Services services,
                                  QObject *parent = nullptr);
    ~ConfigurationWindowDispatcher() override;

    QString uuid() const override { return m_uuid; }
    ConfigurationWindowController *configWindow() const override { return m_configWindow.get(); }
    const Server &server() const { return m_server; }
    const std::optional<Site> &site() const { return m_site; }
    const Account &account() const { return m_account; }
    ConfigurationType configType() const { return m_configType; }
    // The title of an editable kind once shown; empty before and for the read-only kinds.
    QString windowTitle() const { return m_windowTitle; }

    // Shows the window and starts loading its text. Without the records a load needs (a site with a
    // name and server, an organisation) nothing is shown or fetched and the window counts as closed.
    void show();

    // ConfigurationWindowDelegate
    void
    saveConfiguration(const QString &text, bool runConfigCache, ConfigurationWindowController *controller) override;
    void reloadConfiguration() override;
    void configurationWindowDidClose() override;
    std::optional<QString> linkedScriptPath() const override;
    void setLinkedScriptPath(const std::optional<QString> &path) override;
    std::optional<QString> linkedScriptOwner(const QString &path) const override;

private:
    struct SaveTarget
    {
        QString path;
        ForgeAPIController forge;
    };

    bool canLoad() const;
    QString titleForType() const;
    void notifyWindowClosed();
    QCoro::Task<> load();
    QCoro::Task<> showLoadError(QString description);
    // The saves hold nothing of the dispatcher: the window may close while they run.
    static QCoro::Task<> saveText(SaveTarget target, AnyEncodable body, QPointer<ConfigurationWindowController> window);
    static QCoro::Task<> saveEnvironment(SaveTarget target,
                                         QString text,
                                         bool runConfigCache,
                                         Sleeper *sleeper,
                                         QPointer<ConfigurationWindowController> window);
    static void setStatus(const QPointer<ConfigurationWindowController> &window, const QString &text);
    static void reportSaveError(const QPointer<ConfigurationWindowController> &window, const QString &description);

    QString m_uuid;
    OwnedConfigurationWindow m_configWindow;
    Server m_server;
    std::optional<Site> m_site;
    Account m_account;
    ConfigurationType m_configType;
    QString m_windowTitle;
    Services m_services;

    Q_DISABLE_COPY_MOVE(ConfigurationWindowDispatcher)
};

} // namespace plimsy
