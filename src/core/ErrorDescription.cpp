#include "core/ErrorDescription.h"

#include "platform/NetworkError.h"

namespace plimsy {

QString errorDescription(const std::exception &error)
{
    if (const auto *network = dynamic_cast<const NetworkError *>(&error)) {
        return network->userMessage();
    }
    return QString::fromUtf8(error.what());
}

} // namespace plimsy
