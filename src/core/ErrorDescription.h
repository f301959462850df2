#pragma once

#include <QString>

#include <exception>

namespace plimsy {

// The text a user is shown for an error: our error types carry it as what(), except that a transfer
// failure's what() also names its technical detail, which stays in the logs.
QString errorDescription(const std::exception &error);

} // namespace plimsy
