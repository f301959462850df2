#pragma once

#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"

#include <QList>

namespace plimsy::test {

// Loaded servers and sites that a test fills in by hand.
class TestRecords final : public LoadedRecords
{
public:
    QList<Server> serverList;
    QList<Site> siteList;

    QList<Server> servers() const override { return serverList; }
    QList<Site> sites() const override { return siteList; }
    bool isLoadingData() const override { return false; }
};

} // namespace plimsy::test
