#include "core/Logger.h"
#include "forge/ForgeAPIController.h"
#include "forge/ForgeAPIControllerState.h"
#include "forge/ForgeNumbers.h"
#include "platform/NetworkError.h"
#include "platform/UserDefaults.h"

#include <QSet>

namespace plimsy {

namespace {

constexpr int ListPageLimit = 10;
constexpr int OrganizationSitesPageLimit = 200;
const QString FirstPageQuery = QStringLiteral("?page%5Bsize%5D=50");

bool isVerbose()
{
    return UserDefaults::standard().boolValue(QString(VerboseLoggingKey));
}

// How diagnostic lines name a failure: a Forge error by its case, anything else by its own text.
QString describe(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ForgeAPIError &forge) {
        return forge.caseName();
    } catch (const std::exception &other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

bool isCancellation(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const NetworkError &network) {
        return network.code() == NetworkError::Code::Cancelled;
    } catch (...) {
        return false;
    }
}

void logTruncation(const QString &what, qsizetype collected, int pageLimit)
{
    plimsy::log(QStringLiteral("[ForgeAPI] ⚠️ %1 has more than %2 entries, showing the first %3 pages only")
                    .arg(what)
                    .arg(collected)
                    .arg(pageLimit));
}

std::optional<qint64> serverIdOf(const JSONAPIResource<Site> &resource)
{
    if (!resource.relationships) {
        return std::nullopt;
    }
    const auto server = resource.relationships->constFind(QStringLiteral("server"));
    if (server == resource.relationships->constEnd() || server->data.isEmpty()) {
        return std::nullopt;
    }
    return parseForgeInteger(QStringView(server->data.first().id));
}

// Whether a listing has had a record of this id already; the first one is kept.
template <typename Id> bool isRepeat(QSet<Id> &seen, const Id &id)
{
    if (seen.contains(id)) {
        return true;
    }
    seen.insert(id);
    return false;
}

} // namespace

template <typename A>
QCoro::Task<bool> ForgeAPIController::forEachPage(std::shared_ptr<State> state,
                                                  QString firstPath,
                                                  int pageLimit,
                                                  QPointer<CancellationToken> cancel,
                                                  std::function<bool(JSONAPIResponse<A> &, int)> onPage)
{
    QString path = firstPath;
    // A "next" link back to a page already read would list the same records again and again.
    QSet<QString> fetched;
    for (int pageNumber = 1;; ++pageNumber) {
        fetched.insert(path);
        // The page is the callback's to take records from; only its links are read afterwards.
        JSONAPIResponse<A> page = co_await requestDecoded<JSONAPIResponse<A>>(
            state, path, HTTPMethod::GET, std::nullopt, listTypeName<A>(), cancel);
        if (!onPage(page, pageNumber)) {
            co_return false;
        }
        const std::optional<QString> next = relativeAPIPath(page.links ? page.links->next : std::nullopt);
        if (!next || fetched.contains(*next)) {
            co_return false;
        }
        if (pageNumber + 1 > pageLimit) {
            co_return true;
        }
        path = *next;
    }
}

QCoro::Task<QList<Organization>> ForgeAPIController::fetchOrganizations()
{
    return fetchOrganizationsWith(d);
}

QCoro::Task<QList<Organization>> ForgeAPIController::fetchOrganizationsWith(std::shared_ptr<State> state)
{
    if (state->cachedOrganizations) {
        // A copy: co_return of the cached list would move it out of the cache.
        co_return QList<Organization>(*state->cachedOrganizations);
    }
    QList<Organization> organizations;
    QSet<QString> seen;
    const std::function<bool(JSONAPIResponse<Organization> &, int)> collect =
        [&organizations, &seen](JSONAPIResponse<Organization> &page, int) {
            for (const auto &resource : page.data) {
                if (isRepeat(seen, resource.attributes.slug)) {
                    continue;
                }
                organizations.append(resource.attributes);
            }
            return !page.data.isEmpty();
        };
    if (co_await forEachPage<Organization>(
            state, QStringLiteral("orgs") + FirstPageQuery, ListPageLimit, {}, collect)) {
        logTruncation(QStringLiteral("The organisation list"), organizations.size(), ListPageLimit);
    }
    state->cachedOrganizations = organizations;
    co_return organizations;
}

QCoro::Task<QList<Server>> ForgeAPIController::fetchServers(QString organizationSlug)
{
    return fetchServersWith(d, std::move(organizationSlug), {});
}

QCoro::Task<QList<Server>> ForgeAPIController::fetchServersWith(std::shared_ptr<State> state,
                                                                QString organizationSlug,
                                                                QPointer<CancellationToken> cancel)
{
    QList<Server> servers;
    QSet<qint64> seen;
    const QString slug = organizationSlug;
    const std::function<bool(JSONAPIResponse<Server> &, int)> collect =
        [&servers, &seen, &slug](JSONAPIResponse<Server> &page, int pageNumber) {
            QStringList names;
            for (const auto &resource : page.data) {
                if (isRepeat(seen, resource.attributes.id)) {
                    continue;
                }
                Server server = resource.attributes;
                server.organizationSlug = slug;
                names.append(server.name.value_or(QStringLiteral("?")) + QStringLiteral("(id=%1)").arg(server.id));
                servers.append(std::move(server));
            }
            if (isVerbose()) {
                Logger::shared().log(QStringLiteral("[ForgeAPI] Org '%1' page %2: %3 servers - %4")
                                         .arg(slug)
                                         .arg(pageNumber)
                                         .arg(page.data.size())
                                         .arg(names.join(QStringLiteral(", "))),
                                     QStringLiteral("Plimsy"));
            }
            return !page.data.isEmpty();
        };
    std::exception_ptr failure;
    try {
        const QString first = QStringLiteral("orgs/") + pathSegment(slug) + QStringLiteral("/servers") + FirstPageQuery;
        if (co_await forEachPage<Server>(state, first, ListPageLimit, cancel, collect)) {
            logTruncation(
                QStringLiteral("The server list of organisation '%1'").arg(slug), servers.size(), ListPageLimit);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // A listing that a failed sibling cancelled is not a failure of its own.
        if (!isCancellation(failure)) {
            plimsy::log(
                QStringLiteral("[ForgeAPI] ❌ Failed to decode servers for org '%1': %2").arg(slug, describe(failure)));
        }
        std::rethrow_exception(failure);
    }
    co_return servers;
}

struct ForgeAPIController::ServerGroup
{
    QList<Server> servers; // in the order the listings finish
    std::exception_ptr firstError;
    CancellationToken cancel;
};

QCoro::Task<QList<Server>> ForgeAPIController::fetchAllServers()
{
    return fetchAllServersWith(d);
}

QCoro::Task<QList<Server>> ForgeAPIController::fetchAllServersWith(std::shared_ptr<State> state)
{
    const QList<Organization> organizations = co_await fetchOrganizationsWith(state);
    auto group = std::make_shared<ServerGroup>();
    std::vector<QCoro::Task<>> listings;
    listings.reserve(size_t(organizations.size()));
    for (const Organization &organization : organizations) {
        listings.push_back(fetchServersInto(state, organization.slug, group));
    }
    for (QCoro::Task<> &listing : listings) {
        co_await std::move(listing);
    }
    if (group->firstError) {
        std::rethrow_exception(group->firstError);
    }
    QList<Server> servers = group->servers;
    for (Server &server : servers) {
        server.accountId = state->account.uuid;
    }
    co_return servers;
}

QCoro::Task<> ForgeAPIController::fetchServersInto(std::shared_ptr<State> state,
                                                   QString organizationSlug,
                                                   std::shared_ptr<ServerGroup> group)
{
    try {
        const QList<Server> servers =
            co_await fetchServersWith(state, organizationSlug, QPointer<CancellationToken>(&group->cancel));
        group->servers.append(servers);
    } catch (...) {
        if (!group->firstError) {
            group->firstError = std::current_exception();
            group->cancel.cancel();
        }
    }
}

QCoro::Task<QList<Site>> ForgeAPIController::fetchSites(qint64 serverId, QString organizationSlug)
{
    return fetchSitesWith(d, serverId, std::move(organizationSlug));
}

QCoro::Task<QList<Site>>
ForgeAPIController::fetchSitesWith(std::shared_ptr<State> state, qint64 serverId, QString organizationSlug)
{
    QList<Site> sites;
    QSet<qint64> seen;
    const QString slug = organizationSlug;
    const std::function<bool(JSONAPIResponse<Site> &, int)> collect =
        [&sites, &seen, &slug, serverId](JSONAPIResponse<Site> &page, int) {
            qsizetype kept = 0;
            for (auto &resource : page.data) {
                const std::optional<qint64> id = parseForgeInteger(QStringView(resource.id));
                if (!id) {
                    continue;
                }
                // Counted as kept, so a page of repeats alone still goes on to the next page.
                ++kept;
                if (isRepeat(seen, *id)) {
                    continue;
                }
                Site site = std::move(resource.attributes);
                site.id = *id;
                site.serverId = serverId;
                site.organizationSlug = slug;
                sites.append(std::move(site));
            }
            return kept > 0;
        };
    if (co_await forEachPage<Site>(state,
                                   serverPath(serverId, slug) + QStringLiteral("/sites") + FirstPageQuery,
                                   ListPageLimit,
                                   {},
                                   collect)) {
        logTruncation(QStringLiteral("The site list of server %1").arg(serverId), sites.size(), ListPageLimit);
    }
    co_return sites;
}

QCoro::Task<QList<Site>> ForgeAPIController::fetchOrganizationSites(QString organizationSlug)
{
    return fetchOrganizationSitesWith(d, std::move(organizationSlug));
}

QCoro::Task<QList<Site>> ForgeAPIController::fetchOrganizationSitesWith(std::shared_ptr<State> state,
                                                                        QString organizationSlug)
{
    QList<Site> sites;
    QSet<qint64> seen;
    const QString slug = organizationSlug;
    const std::function<bool(JSONAPIResponse<Site> &, int)> collect =
        [&sites, &seen, &slug](JSONAPIResponse<Site> &page, int) {
            for (auto &resource : page.data) {
                const std::optional<qint64> id = parseForgeInteger(QStringView(resource.id));
                if (!id || seen.contains(*id)) {
                    continue;
                }
                const std::optional<qint64> serverId = serverIdOf(resource);
                if (!serverId) {
                    throw ForgeAPIError(ForgeAPIError::Case::IncompleteResult);
                }
                seen.insert(*id);
                Site site = std::move(resource.attributes);
                site.id = *id;
                site.serverId = serverId;
                site.organizationSlug = slug;
                sites.append(std::move(site));
            }
            return !page.data.isEmpty();
        };
    const QString first = QStringLiteral("orgs/") + pathSegment(slug) + QStringLiteral("/sites") + FirstPageQuery
                          + QStringLiteral("&include=server");
    if (co_await forEachPage<Site>(state, first, OrganizationSitesPageLimit, {}, collect)) {
        plimsy::log(
            QStringLiteral("[ForgeAPI] ⚠️ Organization '%1' has more than %2 sites, giving up after %3 pages")
                .arg(slug)
                .arg(sites.size())
                .arg(OrganizationSitesPageLimit));
        throw ForgeAPIError(ForgeAPIError::Case::IncompleteResult);
    }
    co_return sites;
}

} // namespace plimsy
