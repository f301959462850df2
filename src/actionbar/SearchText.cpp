#include "actionbar/SearchText.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace plimsy {

namespace {

// ASCII without a CR LF pair (which is one character) needs neither composition nor cluster breaks.
bool isPlainAscii(QStringView text)
{
    char16_t previous = 0;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80 || (previous == u'\r' && c.unicode() == u'\n')) {
            return false;
        }
        previous = c.unicode();
    }
    return true;
}

quint64 unitsOf(const QString &text)
{
    quint64 units = 0;
    for (const QChar c : text) {
        units |= quint64(1) << (c.unicode() & 63);
    }
    return units;
}

} // namespace

SearchText::SearchText(QStringView text)
{
    if (isPlainAscii(text)) {
        m_text = text.toString().toLower();
        m_units = unitsOf(m_text);
        return;
    }
    m_isSimple = false;
    m_text = text.toString().toLower().normalized(QString::NormalizationForm_C);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text);
    m_starts.push_back(0);
    while (finder.toNextBoundary() > 0) {
        m_starts.push_back(finder.position());
    }
    if (m_starts.back() != m_text.size()) {
        m_starts.push_back(m_text.size());
    }
    m_units = unitsOf(m_text);
}

std::optional<qsizetype> SearchText::characterStartingAt(qsizetype unit) const
{
    if (m_isSimple) {
        return unit;
    }
    const auto found = std::lower_bound(m_starts.begin(), m_starts.end(), unit);
    if (found == m_starts.end() || *found != unit) {
        return std::nullopt;
    }
    return qsizetype(found - m_starts.begin());
}

std::optional<std::pair<qsizetype, qsizetype>> SearchText::find(const SearchText &needle, qsizetype fromCharacter) const
{
    qsizetype unit = unitOf(fromCharacter);
    while (true) {
        unit = m_text.indexOf(needle.m_text, unit);
        if (unit < 0) {
            return std::nullopt;
        }
        const auto first = characterStartingAt(unit);
        const auto end = characterStartingAt(unit + needle.m_text.size());
        if (first && end) {
            return std::make_pair(*first, *end);
        }
        ++unit;
    }
}

bool SearchText::hasPrefixAt(const SearchText &prefix, qsizetype at) const
{
    const qsizetype unit = unitOf(at);
    return QStringView(m_text).mid(unit).startsWith(prefix.m_text)
           && characterStartingAt(unit + prefix.m_text.size()).has_value();
}

bool isSeparator(QStringView character)
{
    if (character.size() != 1) {
        return false;
    }
    return isSeparator(character.front().unicode());
}

} // namespace plimsy
