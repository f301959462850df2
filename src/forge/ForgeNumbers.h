#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace plimsy {

// Forge ids and allowance counts: an optional "+" or "-", then ASCII digits only, within 64 bits.
std::optional<qint64> parseForgeInteger(QStringView text);
std::optional<qint64> parseForgeInteger(QByteArrayView text);

// A header count of seconds: a C-locale number covering the whole text, no white space around it.
// Non-finite values (nan, inf) count as absent, so no caller ever pauses for an infinite time.
std::optional<double> parseForgeSeconds(QByteArrayView text);

} // namespace plimsy
