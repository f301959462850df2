#pragma once

#include <QString>

#include <optional>

namespace plimsy {

// The whole file as UTF-8 text; none when it cannot be opened or read, or is not valid UTF-8.
std::optional<QString> readUtf8File(const QString &path);

} // namespace plimsy
