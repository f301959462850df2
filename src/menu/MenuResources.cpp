#include "menu/MenuResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initMenuResources()
{
    Q_INIT_RESOURCE(menu);
}

namespace plimsy {

void ensureMenuResources()
{
    static const bool s_done = [] {
        initMenuResources();
        return true;
    }();
    (void)s_done;
}

} // namespace plimsy
