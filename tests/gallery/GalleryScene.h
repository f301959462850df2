#pragma once

#include "DemoData.h"
#include "FakeAccountBackend.h"
#include "FakeForge.h"
#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"

#include <QList>

#include <functional>

namespace plimsy::test {

// The demo's servers and sites as a refresh would have loaded them, each with its account.
class GalleryRecords final : public LoadedRecords
{
public:
    GalleryRecords(const FakeForge &forge, const QList<DemoAccount> &accounts);

    QList<Server> servers() const override { return m_servers; }
    QList<Site> sites() const override { return m_sites; }
    bool isLoadingData() const override { return false; }

private:
    QList<Server> m_servers;
    QList<Site> m_sites;
};

// What every page stands on: the demo data set on a FakeForge, a FakeAccountBackend, the application's
// addresses pointed at both, the demo accounts, their keys and a legacy relay key stored as the
// application keeps them (in the sealed session's own defaults and keyring), and the loaded servers and
// sites.
class GalleryScene
{
public:
    GalleryScene();
    ~GalleryScene();

    // Signed in as the backend's user, or signed out, as the account service sees it.
    void signIn();
    void signOut();

    const QList<DemoAccount> &accounts() const { return m_accounts; }

    // Runs the event loop until `ready` holds; false when it did not within the limit.
    static bool waitUntil(const std::function<bool()> &ready);

private:
    FakeForge m_forge;
    FakeAccountBackend m_backend;
    QList<DemoAccount> m_accounts;
    GalleryRecords m_records;
};

} // namespace plimsy::test
