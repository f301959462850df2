#include "forge/ForgeNumbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace plimsy {

std::optional<qint64> parseForgeInteger(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f) {
            return std::nullopt;
        }
    }
    return parseForgeInteger(QByteArrayView(text.toLatin1()));
}

std::optional<qint64> parseForgeInteger(QByteArrayView text)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const bool negative = begin != end && *begin == '-';
    if (begin != end && (*begin == '+' || *begin == '-')) {
        ++begin;
    }
    // from_chars would take a second sign after ours; digits only from here on.
    if (begin == end || *begin < '0' || *begin > '9') {
        return std::nullopt;
    }
    // Parse the magnitude as unsigned so that the most negative value still fits.
    quint64 magnitude = 0;
    const auto [last, error] = std::from_chars(begin, end, magnitude);
    if (error != std::errc() || last != end) {
        return std::nullopt;
    }
    constexpr quint64 MaxPositive = quint64(std::numeric_limits<qint64>::max());
    if (negative) {
        if (magnitude > MaxPositive + 1) {
            return std::nullopt;
        }
        return magnitude == MaxPositive + 1 ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    }
    if (magnitude > MaxPositive) {
        return std::nullopt;
    }
    return qint64(magnitude);
}

std::optional<double> parseForgeSeconds(QByteArrayView text)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+')) {
            return std::nullopt;
        }
    }
    if (begin == end) {
        return std::nullopt;
    }
    double value = 0;
    const auto [last, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || last != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace plimsy
