#include "editor/ConfigurationWindowDispatcher.h"

#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "core/Puny.h"
#include "core/RequestBodies.h"
#include "core/RunDetached.h"
#include "editor/ConfigurationEditorViewModel.h"
#include "editor/DeploymentScriptFileStore.h"
#include "forge/ForgeAPIError.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationActivation.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace plimsy {

namespace {

using namespace std::chrono_literals;

// "Clearing caches..." stays at least this long, and "Done ✓" this long.
constexpr auto ClearingStatusMinimum = 800ms;
constexpr auto DoneStatusDuration = 1500ms;

QString orPlaceholder(const QString &text, const char *placeholder)
{
    return text.isEmpty() ? QString::fromLatin1(placeholder) : text;
}

// A site log may come as a JSON object whose "content" holds the text.
QString unwrapSiteLog(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    const QJsonValue content = document.isObject() ? document.object().value(QLatin1String("content")) : QJsonValue();
    return content.isString() ? content.toString() : text;
}

struct Target
{
    qint64 serverId = 0;
    qint64 siteId = 0;
    QString organizationSlug;
};

// Arguments are named locals throughout: g++ 12 may destroy temporaries of a co_await expression twice.
QCoro::Task<QString> fetchText(ForgeAPIController forge, ConfigurationType type, Target target)
{
    const qint64 serverId = target.serverId;
    const qint64 siteId = target.siteId;
    const QString slug = target.organizationSlug;
    switch (type) {
    case ConfigurationType::Env:
        co_return co_await forge.fetchEnvironment(serverId, siteId, slug);
    case ConfigurationType::Nginx:
        co_return co_await forge.fetchNginxConfig(serverId, siteId, slug);
    case ConfigurationType::Deployment:
        co_return co_await forge.fetchDeploymentScript(serverId, siteId, slug);
    case ConfigurationType::DeploymentOutput: {
        printLine(QStringLiteral("[DeploymentLog] Fetching for server: %1, site: %2, org: %3")
                      .arg(serverId)
                      .arg(siteId)
                      .arg(slug));
        const QString text = co_await forge.fetchDeploymentLog(serverId, siteId, slug);
        printLine(QStringLiteral("[DeploymentLog] Response length: %1 chars").arg(text.size()));
        co_return orPlaceholder(text, "Deployment log is empty.");
    }
    case ConfigurationType::NginxAccessLogs:
    case ConfigurationType::NginxErrorLogs: {
        const QString kind =
            type == ConfigurationType::NginxAccessLogs ? QStringLiteral("nginx-access") : QStringLiteral("nginx-error");
        const QString text = co_await forge.fetchServerLog(serverId, slug, kind);
        co_return orPlaceholder(text, "Log file is empty.");
    }
    case ConfigurationType::SiteLog: {
        const QString text = co_await forge.fetchSiteLog(serverId, siteId, slug);
        co_return orPlaceholder(unwrapSiteLog(text), "Site log is empty.");
    }
    case ConfigurationType::ReadOnly:
        break;
    }
    co_return QString();
}

} // namespace

ConfigurationWindowDispatcher::ConfigurationWindowDispatcher(
    QString uuid,
    std::unique_ptr<ConfigurationWindowController> configWindow,
    Server server,
    std::optional<Site> site,
    Account account,
    ConfigurationType configType,
    Services services,
    QObject *parent)
    : QObject(parent)
    , m_uuid(std::move(uuid))
    , m_configWindow(configWindow.release())
    , m_server(std::move(server))
    , m_site(std::move(site))
    , m_account(std::move(account))
    , m_configType(configType)
    , m_services(std::move(services))
{
    if (!m_services.alerts) {
        m_services.alerts = &AlertPresenter::system();
    }
    if (!m_services.sleeper) {
        m_services.sleeper = &Sleeper::system();
    }
    if (!m_services.fileStore) {
        m_services.fileStore = &DeploymentScriptFileStore::shared();
    }
}

ConfigurationWindowDispatcher::~ConfigurationWindowDispatcher()
{
    printLine(QStringLiteral("Deinit of ConfigurationWindowDispatcher"));
}

bool ConfigurationWindowDispatcher::canLoad() const
{
    switch (m_configType) {
    case ConfigurationType::ReadOnly:
        return true;
    case ConfigurationType::NginxAccessLogs:
    case ConfigurationType::NginxErrorLogs:
        return m_server.organizationSlug.has_value();
    case ConfigurationType::Env:
    case ConfigurationType::Nginx:
    case ConfigurationType::Deployment:
    case ConfigurationType::DeploymentOutput:
    case ConfigurationType::SiteLog:
        break;
    }
    return m_site && m_site->name && m_site->serverId && m_server.organizationSlug;
}

QString ConfigurationWindowDispatcher::titleForType() const
{
    const QString siteName = m_site ? m_site->name.value_or(QString()) : QString();
    switch (m_configType) {
    case ConfigurationType::Env:
        return QStringLiteral(".env for ") + siteName;
    case ConfigurationType::Nginx:
        return QStringLiteral("Nginx config ") + siteName;
    case ConfigurationType::Deployment:
        return QStringLiteral("Deployment script for ") + siteName;
    case ConfigurationType::DeploymentOutput:
        return QStringLiteral("Deployment log for ") + siteName;
    case ConfigurationType::ReadOnly:
        return QStringLiteral("Read-only content");
    case ConfigurationType::NginxAccessLogs:
    case ConfigurationType::NginxErrorLogs:
        return QStringLiteral("Logfile");
    case ConfigurationType::SiteLog:
        return QStringLiteral("Site log for ") + siteName;
    }
    return {};
}

void ConfigurationWindowDispatcher::show()
{
    m_configWindow->setDelegate(this);
    if (!canLoad() || m_configWindow->refuseToOpen()) {
        // Nothing will ever show, so the status menu must not keep counting this window as open.
        QTimer::singleShot(0, this, &ConfigurationWindowDispatcher::notifyWindowClosed);
        return;
    }
    m_configWindow->show();
    m_configWindow->beginLoading();
    const QString title = titleForType();
    m_configWindow->setWindowTitle(title);
    if (isEditable(m_configType)) {
        m_windowTitle = title;
    }
    if (m_configType == ConfigurationType::Env || m_configType == ConfigurationType::Nginx
        || m_configType == ConfigurationType::NginxAccessLogs || m_configType == ConfigurationType::NginxErrorLogs) {
        ApplicationActivation::activate();
    }
    if (m_configType == ConfigurationType::ReadOnly) {
        m_configWindow->setContent(ConfigurationType::ReadOnly, QString());
        return;
    }
    runDetached(load());
}

QCoro::Task<> ConfigurationWindowDispatcher::load()
{
    QPointer self(this);
    const ConfigurationType type = m_configType;
    Target target{m_server.id, 0, m_server.organizationSlug.value_or(QString())};
    if (m_site) {
        // Site files live under the site's own server id.
        target.serverId = m_site->serverId.value_or(0);
        target.siteId = m_site->id;
    }
    std::optional<QString> failure;
    try {
        ForgeAPIController forge(m_account, m_services.forge);
        const QString text = co_await fetchText(std::move(forge), type, target);
        if (self) {
            m_configWindow->setContent(type, text);
        }
        co_return;
    } catch (const ForgeAPIError &error) {
        if (type == ConfigurationType::DeploymentOutput && error.errorCase() == ForgeAPIError::Case::NotFound) {
            printLine(QStringLiteral("[DeploymentLog] Got 404 Not Found"));
            if (self) {
                m_configWindow->setContent(type, QStringLiteral("No deployment has been run yet."));
            }
            co_return;
        }
        failure = error.userMessage();
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (type == ConfigurationType::DeploymentOutput) {
        printLine(QStringLiteral("[DeploymentLog] Error: ") + *failure);
    }
    if (self) {
        const QString description = *failure;
        co_await showLoadError(description);
    }
}

QCoro::Task<> ConfigurationWindowDispatcher::showLoadError(QString description)
{
    QPointer self(this);
    // A sheet on the window, which goes with it.
    const Alert alert{QStringLiteral("Failed to load"), description, Alert::Style::Warning, {}, m_configWindow.get()};
    co_await m_services.alerts->ask(alert);
    if (self) {
        m_configWindow->close();
    }
}

void ConfigurationWindowDispatcher::reloadConfiguration()
{
    show();
}

void ConfigurationWindowDispatcher::configurationWindowDidClose()
{
    notifyWindowClosed();
}

// --- Saving ------------------------------------------------------------------------------------------

void ConfigurationWindowDispatcher::saveConfiguration(const QString &text,
                                                      bool runConfigCache,
                                                      ConfigurationWindowController *controller)
{
    if (!m_site || !m_site->serverId || !m_server.organizationSlug) {
        return;
    }
    const QString sitePath = ForgeAPIController::sitePath(*m_site->serverId, m_site->id, *m_server.organizationSlug);
    const QPointer<ConfigurationWindowController> window(controller);
    // A fresh client for every save, as for every load.
    const auto target = [&](const char *suffix) {
        return SaveTarget{sitePath + QLatin1String(suffix), ForgeAPIController(m_account, m_services.forge)};
    };
    switch (m_configType) {
    case ConfigurationType::Env:
        runDetached(saveEnvironment(target("/environment"), text, runConfigCache, m_services.sleeper, window));
        break;
    case ConfigurationType::Nginx:
        runDetached(saveText(target("/nginx"), NginxUpdateBody{text}, window));
        break;
    case ConfigurationType::Deployment:
        runDetached(saveText(target("/deployments/script"), DeploymentScriptBody{text}, window));
        break;
    case ConfigurationType::DeploymentOutput:
    case ConfigurationType::ReadOnly:
    case ConfigurationType::NginxAccessLogs:
    case ConfigurationType::NginxErrorLogs:
    case ConfigurationType::SiteLog:
        break;
    }
}

QCoro::Task<> ConfigurationWindowDispatcher::saveText(SaveTarget target,
                                                      AnyEncodable body,
                                                      QPointer<ConfigurationWindowController> window)
{
    std::optional<QString> failure;
    try {
        QCoro::Task<> put = target.forge.requestVoid(target.path, HTTPMethod::PUT, std::move(body));
        co_await put;
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (!window) {
        co_return;
    }
    if (failure) {
        window->showError(*failure);
    } else {
        window->didSave();
    }
}

QCoro::Task<> ConfigurationWindowDispatcher::saveEnvironment(SaveTarget target,
                                                             QString text,
                                                             bool runConfigCache,
                                                             Sleeper *sleeper,
                                                             QPointer<ConfigurationWindowController> window)
{
    setStatus(window, QStringLiteral("Saving..."));
    try {
        QCoro::Task<> put = target.forge.requestVoid(target.path, HTTPMethod::PUT, EnvUpdateBody{text});
        co_await put;
    } catch (const std::exception &error) {
        reportSaveError(window, errorDescription(error));
        co_return;
    }
    // The file is on Forge from here on, whatever clearing the caches does.
    if (window) {
        window->didSave();
    }
    if (!runConfigCache) {
        setStatus(window, QString());
        co_return;
    }
    setStatus(window, QStringLiteral("Clearing caches..."));
    std::optional<QString> failure;
    {
        // Side by side: the command, and the pause that keeps the status readable.
        const QString commandsPath = target.path.left(target.path.lastIndexOf(u'/')) + QStringLiteral("/commands");
        QCoro::Task<> command = target.forge.requestVoid(
            commandsPath, HTTPMethod::POST, CommandBody{QStringLiteral("php artisan optimize:clear")});
        QCoro::Task<> pause = sleeper->sleep(ClearingStatusMinimum);
        try {
            co_await command;
        } catch (const std::exception &error) {
            failure = errorDescription(error);
        }
        co_await pause;
    }
    if (failure) {
        reportSaveError(window, *failure);
        co_return;
    }
    setStatus(window, QStringLiteral("Done \u2713"));
    co_await sleeper->sleep(DoneStatusDuration);
    setStatus(window, QString());
}

void ConfigurationWindowDispatcher::setStatus(const QPointer<ConfigurationWindowController> &window,
                                              const QString &text)
{
    if (window) {
        window->viewModel()->setStatus(text, false);
    }
}

void ConfigurationWindowDispatcher::reportSaveError(const QPointer<ConfigurationWindowController> &window,
                                                    const QString &description)
{
    if (window) {
        window->viewModel()->setStatus(description, true);
        window->showError(description);
    }
}

// --- The deployment script's file link ---------------------------------------------------------------

std::optional<QString> ConfigurationWindowDispatcher::linkedScriptPath() const
{
    if (!m_site || !m_site->serverId) {
        return std::nullopt;
    }
    return m_services.fileStore->path(*m_site->serverId, m_site->id);
}

void ConfigurationWindowDispatcher::setLinkedScriptPath(const std::optional<QString> &path)
{
    if (!m_site || !m_site->serverId) {
        return;
    }
    if (path) {
        m_services.fileStore->setPath(*path, *m_site->serverId, m_site->id);
    } else {
        m_services.fileStore->removePath(*m_site->serverId, m_site->id);
    }
}

std::optional<QString> ConfigurationWindowDispatcher::linkedScriptOwner(const QString &path) const
{
    if (!m_site || !m_site->serverId) {
        return std::nullopt;
    }
    const auto owner = m_services.fileStore->owner(path, *m_site->serverId, m_site->id);
    if (!owner) {
        return std::nullopt;
    }
    const std::optional<Site> other = Site::find(owner->second);
    if (other && other->name) {
        if (const std::optional<QString> decoded = decodeIDNADomain(*other->name)) {
            return decoded;
        }
    }
    return QStringLiteral("another site (id %1)").arg(owner->second);
}

void ConfigurationWindowDispatcher::notifyWindowClosed()
{
    // The observer may destroy this dispatcher: nothing may touch it after the post.
    NotificationCenter::defaultCenter().post(NotificationNames::windowClosed, this, {{QStringLiteral("uuid"), m_uuid}});
}

} // namespace plimsy
