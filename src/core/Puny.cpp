#include "core/Puny.h"

#include <QList>

namespace plimsy {

namespace {

bool add(qint64 &value, qint64 by)
{
    return !__builtin_add_overflow(value, by, &value);
}

bool multiply(qint64 &value, qint64 by)
{
    return !__builtin_mul_overflow(value, by, &value);
}

std::optional<qint64> digitValue(char32_t c)
{
    if (c >= U'a' && c <= U'z') {
        return c - U'a';
    }
    if (c >= U'A' && c <= U'Z') {
        return c - U'A';
    }
    if (c >= U'0' && c <= U'9') {
        return c - U'0' + 26;
    }
    return std::nullopt;
}

// RFC 3986 unreserved and sub-delimiter characters, letters, digits, ":", "[" and "]".
bool isURLHostAllowed(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
        return true;
    }
    return u < 0x80 && QStringView(u"-._~!$&'()*+,;=:[]").contains(c);
}

QList<QStringView> labelsOf(QStringView input)
{
    QList<QStringView> labels;
    for (QStringView label : input.tokenize(u'.', Qt::SkipEmptyParts)) {
        labels.append(label);
    }
    return labels;
}

} // namespace

std::optional<QChar> Puny::characterForDigit(qint64 digit) const
{
    if (digit < 0 || digit > 35) {
        return std::nullopt;
    }
    return digit < 26 ? QChar(char16_t(u'a' + digit)) : QChar(char16_t(u'0' + digit - 26));
}

qint64 Puny::adapt(qint64 delta, qint64 numPoints, bool firstTime) const
{
    delta = firstTime ? delta / damp : delta / 2;
    delta += delta / numPoints;
    qint64 k = 0;
    while (delta > ((base - tMin) * tMax) / 2) {
        delta /= base - tMin;
        k += base;
    }
    return k + (base - tMin + 1) * delta / (delta + skew);
}

std::optional<QString> Puny::decodePunycode(QStringView input) const
{
    const QList<uint> scalars = input.toUcs4();
    QList<char32_t> output;
    qsizetype position = 0;
    const qsizetype last = scalars.lastIndexOf(delimiter);
    if (last > 0) {
        for (qsizetype j = 0; j < last; ++j) {
            output.append(scalars[j]);
        }
        position = last + 1;
    }

    qint64 n = initialN;
    qint64 i = 0;
    qint64 bias = initialBias;
    while (position < scalars.size()) {
        const qint64 oldi = i;
        qint64 w = 1;
        for (qint64 k = base;; k += base) {
            if (position >= scalars.size()) {
                return std::nullopt;
            }
            const auto digit = digitValue(scalars[position++]);
            if (!digit) {
                return std::nullopt;
            }
            qint64 step = *digit;
            if (!multiply(step, w) || !add(i, step)) {
                return std::nullopt;
            }
            const qint64 t = k <= bias ? tMin : (k >= bias + tMax ? tMax : k - bias);
            if (*digit < t) {
                break;
            }
            if (!multiply(w, base - t)) {
                return std::nullopt;
            }
        }
        const qint64 length = output.size() + 1;
        bias = adapt(i - oldi, length, oldi == 0);
        if (!add(n, i / length)) {
            return std::nullopt;
        }
        i %= length;
        if (n < initialN || (n >= 0xD800 && n <= 0xDFFF) || n >= 0x110000) {
            return std::nullopt;
        }
        output.insert(i, char32_t(n));
        ++i;
    }
    return QString::fromUcs4(output.constData(), output.size());
}

std::optional<QString> Puny::encodePunycode(QStringView input) const
{
    const QList<uint> scalars = input.toUcs4();
    QString output;
    for (const uint c : scalars) {
        if (c < 0x80) {
            output.append(QChar(char16_t(c)));
        }
    }
    const qint64 b = output.size();
    qint64 h = b;
    if (b >= 1) {
        output.append(QChar(char16_t(delimiter)));
    }

    qint64 n = initialN;
    qint64 delta = 0;
    qint64 bias = initialBias;
    while (h < scalars.size()) {
        qint64 m = 0x10FFFF;
        for (const uint c : scalars) {
            if (c >= n && c < m) {
                m = c;
            }
        }
        qint64 grow = m - n;
        if (!multiply(grow, h + 1) || !add(delta, grow)) {
            return std::nullopt;
        }
        n = m;
        for (const uint c : scalars) {
            if (c < n && !add(delta, 1)) {
                return std::nullopt;
            }
            if (c != n) {
                continue;
            }
            qint64 q = delta;
            for (qint64 k = base;; k += base) {
                const qint64 t = k <= bias ? tMin : (k >= bias + tMax ? tMax : k - bias);
                if (q < t) {
                    break;
                }
                const auto digit = characterForDigit(t + (q - t) % (base - t));
                if (!digit) {
                    return std::nullopt;
                }
                output.append(*digit);
                q = (q - t) / (base - t);
            }
            const auto digit = characterForDigit(q);
            if (!digit) {
                return std::nullopt;
            }
            output.append(*digit);
            bias = adapt(delta, h + 1, h == b);
            delta = 0;
            ++h;
        }
        if (!add(delta, 1)) {
            return std::nullopt;
        }
        ++n;
    }
    return output;
}

std::optional<QString> Puny::encodeIDNA(QStringView input) const
{
    QString result;
    for (QStringView label : labelsOf(input)) {
        if (!result.isEmpty()) {
            result.append(QLatin1Char('.'));
        }
        if (std::all_of(label.begin(), label.end(), isURLHostAllowed)) {
            result.append(label);
            continue;
        }
        const auto encoded = encodePunycode(label.toString().toLower());
        if (!encoded) {
            return std::nullopt;
        }
        result.append(ace + *encoded);
    }
    return result;
}

std::optional<QString> Puny::decodeIDNAForDisplay(QStringView input) const
{
    QString result;
    for (QStringView label : labelsOf(input)) {
        if (!result.isEmpty()) {
            result.append(QLatin1Char('.'));
        }
        if (!label.startsWith(ace, Qt::CaseInsensitive)) {
            result.append(label);
            continue;
        }
        const auto decoded = decodePunycode(label.mid(ace.size()));
        if (!decoded) {
            return std::nullopt;
        }
        result.append(isShowable(label, *decoded) ? *decoded : label.toString());
    }
    return result;
}

bool Puny::isShowable(QStringView encoded, const QString &decoded) const
{
    bool hasNonASCII = false;
    for (const char32_t c : decoded.toUcs4()) {
        if (c < 0x80) {
            if (!QChar::isLetterOrNumber(c) && c != U'-') {
                return false;
            }
            continue;
        }
        hasNonASCII = true;
        switch (QChar::category(c)) {
        case QChar::Letter_Lowercase:
        case QChar::Letter_Uppercase:
        case QChar::Letter_Other:
        case QChar::Letter_Modifier:
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Number_DecimalDigit:
            break;
        default:
            return false;
        }
    }
    if (!hasNonASCII || decoded.normalized(QString::NormalizationForm_KC) != decoded) {
        return false;
    }
    const auto again = encodePunycode(decoded);
    return again && encoded.mid(ace.size()).compare(*again, Qt::CaseInsensitive) == 0;
}

std::optional<QString> decodeIDNADomain(const QString &domain)
{
    // Most names hold no encoded label and no empty one: they come back as they are, without a copy
    // (every site's menu title goes through here).
    const bool plain = !domain.contains(u"xn--", Qt::CaseInsensitive) && !domain.startsWith(u'.')
                       && !domain.endsWith(u'.') && !domain.contains(u"..");
    if (plain) {
        return domain;
    }
    return Puny().decodeIDNAForDisplay(domain);
}

std::optional<QString> encodeIDNADomain(const QString &domain)
{
    return Puny().encodeIDNA(domain);
}

} // namespace plimsy
