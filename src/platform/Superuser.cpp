#include "platform/Superuser.h"

#include <unistd.h>

namespace plimsy {

bool isSuperuser()
{
    return geteuid() == 0;
}

} // namespace plimsy
