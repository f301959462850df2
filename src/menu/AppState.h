#pragma once

#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"

#include <QList>

#include <memory>
#include <optional>

namespace plimsy {

class WindowController;

// The application delegate's shared lists and loading flags: what the last refresh loaded and whether
// one is loading. The refresh road writes them; the menus, site checks and palette read them. The
// application owns the one instance and registers it as the current LoadedRecords. GUI thread only.
class AppState : public LoadedRecords
{
public:
    AppState();
    ~AppState() override;

    QList<Server> servers() const override { return serverList; }
    QList<Site> sites() const override { return siteList; }
    bool isLoadingData() const override { return loadingData; }

    QList<Server> serverList;
    QList<Site> siteList;
    std::optional<qint64> loadedServers;
    qint64 expectedSiteCount = 0;
    bool allSitesLoadedFired = false;
    bool loadingData = false;
    std::unique_ptr<WindowController> aboutWindow;

    Q_DISABLE_COPY_MOVE(AppState)
};

} // namespace plimsy
