#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

namespace plimsy {

// Punycode (Bootstring with the Punycode parameters) and a label-by-label IDNA layer that adds or
// removes the "xn--" prefix. No normalisation or mapping: only what host names shown to users need.
// Holds only constants, so any thread may use its own instance. Every failure is an absent result.
class Puny
{
public:
    // 0-25 give "a"-"z", 26-35 give "0"-"9", anything else none.
    std::optional<QChar> characterForDigit(qint64 digit) const;

    // Bare Punycode (no prefix) to Unicode; none on bad digits, truncation, invalid code points or
    // arithmetic overflow.
    std::optional<QString> decodePunycode(QStringView input) const;
    // Unicode to bare Punycode; none only on arithmetic overflow.
    std::optional<QString> encodePunycode(QStringView input) const;

    // Dotted host names; empty labels vanish. The prefix and the digits of encoded labels are read
    // in either case.
    std::optional<QString> encodeIDNA(QStringView input) const;
    // Decodes the "xn--" labels, but one keeps its ASCII form when it decodes to nothing or to plain
    // ASCII, holds anything but letters, marks and digits (controls, zero-width and bidirectional
    // formatting, spaces, punctuation), changes under compatibility normalisation (full-width letters),
    // or does not encode back to the same label. Letters mixed from several scripts still decode.
    std::optional<QString> decodeIDNAForDisplay(QStringView input) const;

private:
    qint64 adapt(qint64 delta, qint64 numPoints, bool firstTime) const;
    bool isShowable(QStringView encoded, const QString &decoded) const;

    const qint64 base = 36;
    const qint64 tMin = 1;
    const qint64 tMax = 26;
    const qint64 skew = 38;
    const qint64 damp = 700;
    const qint64 initialBias = 72;
    const qint64 initialN = 128;
    const char32_t delimiter = U'-';
    const QString ace = QStringLiteral("xn--");
};

// The Unicode form of a host name whose "xn--" labels are Punycode, for showing and sorting: some labels
// stay ASCII (see decodeIDNAForDisplay); none when one cannot be decoded.
std::optional<QString> decodeIDNADomain(const QString &domain);
std::optional<QString> encodeIDNADomain(const QString &domain);

} // namespace plimsy
