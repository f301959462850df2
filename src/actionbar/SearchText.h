#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace plimsy {

// A text prepared once for matching: lowercased (locale-independent), canonically composed, and split into
// user-perceived characters (grapheme clusters). Positions called "character" count those clusters; a
// plain ASCII text takes a fast path where every code unit is one character.
class SearchText
{
public:
    SearchText() = default;
    explicit SearchText(QStringView text);

    const QString &text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }
    qsizetype characterCount() const { return m_isSimple ? m_text.size() : qsizetype(m_starts.size()) - 1; }
    bool isSimple() const { return m_isSimple; }

    // The code units of one character.
    QStringView character(qsizetype index) const
    {
        if (m_isSimple) {
            return QStringView(m_text).mid(index, 1);
        }
        return QStringView(m_text).mid(m_starts[index], m_starts[index + 1] - m_starts[index]);
    }
    // The character that begins at a code unit, or none when the unit is inside a character.
    std::optional<qsizetype> characterStartingAt(qsizetype unit) const;
    qsizetype unitOf(qsizetype character) const { return m_isSimple ? character : m_starts[character]; }

    // The first occurrence of `needle` that begins and ends on character boundaries, as the character range
    // [first, second); none when there is none.
    std::optional<std::pair<qsizetype, qsizetype>> find(const SearchText &needle, qsizetype fromCharacter = 0) const;
    // False when `word` has a code unit the text lacks, so it cannot match in any way: a quick rejection.
    bool mayContain(const SearchText &word) const { return (word.m_units & ~m_units) == 0; }
    // Whether the text begins with `prefix` at the character `at`, ending on a boundary.
    bool hasPrefixAt(const SearchText &prefix, qsizetype at) const;

private:
    QString m_text;
    bool m_isSimple = true;
    // Without the fast path: the first code unit of every character, then the text's length.
    std::vector<qsizetype> m_starts;
    // One bit per code unit value modulo 64 for each unit in the text.
    quint64 m_units = 0;
};

// One of " ", "-", "_", ".".
inline bool isSeparator(char16_t c)
{
    return c == u' ' || c == u'-' || c == u'_' || c == u'.';
}
bool isSeparator(QStringView character);

} // namespace plimsy
