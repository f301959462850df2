#include "app/AppResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace plimsy {

void ensureAppResources()
{
    static const bool s_done = [] {
        initAppResources();
        return true;
    }();
    (void)s_done;
}

} // namespace plimsy
