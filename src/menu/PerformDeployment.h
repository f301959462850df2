#pragma once

#include "core/Server.h"
#include "core/Site.h"
#include "menu/MenuRepresenter.h"

#include <QPointer>

namespace plimsy {

class StatusMenuController;

// One deployment the user asked for: the clicked item's payload with copies of its server and site, and
// the controller that shows a failure.
struct PerformDeployment
{
    MenuRepresenter data;
    Server server;
    Site site;
    QPointer<StatusMenuController> delegate;

    // Asks for confirmation and, once given, deploys in the background on a copy of this value. Returns
    // at once; nothing happens when the controller is gone by then.
    void confirmAndDeploy() const;
};

} // namespace plimsy
