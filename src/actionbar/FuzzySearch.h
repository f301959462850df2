#pragma once

#include "actionbar/ActionBarItem.h"
#include "actionbar/SearchText.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace plimsy {

class RecentCommandsManager;

// A half-open range of character positions in an item's lowercased searchable text.
using CharacterRange = std::pair<qsizetype, qsizetype>;

struct FuzzyMatch
{
    // The matched item. A match shares the searched list rather than copying its item, which made a
    // search over thousands of items slow; sharing keeps the match valid on its own.
    const ActionBarItem &item() const { return searched.at(index); }

    int score = 0;
    QList<CharacterRange> matchedRanges; // in query-word order; none for word-prefix matches
    QList<ActionBarItem> searched;
    qsizetype index = 0;
};

struct WordMatch
{
    int score = 0;
    QList<CharacterRange> ranges;

    bool operator==(const WordMatch &) const = default;
};

// Ranks the palette's items against what the user typed: every word must match the searchable text, and
// entity names and recent use add bonuses. GUI thread (it reads the recency store).
class FuzzySearch
{
public:
    explicit FuzzySearch(const RecentCommandsManager &recentCommandsManager);

    // Best first; equal scores keep the input order. The empty query keeps every item, ordered by recency.
    QList<FuzzyMatch> search(const QString &query, const QList<ActionBarItem> &items) const;

    // The item's score and matched ranges; `words` and `query` lowercased (as SearchTexts); none when a word
    // does not match.
    std::optional<WordMatch> scoreItem(const ActionBarItem &item,
                                       const QList<SearchText> &words,
                                       const SearchText &query,
                                       const QDateTime &now) const;

    // Substring, then word prefix, then an in-order match of the word's characters.
    static std::optional<WordMatch> matchWord(const SearchText &word, const SearchText &text);
    static std::optional<WordMatch> fuzzyMatch(const SearchText &word, const SearchText &text);

private:
    const RecentCommandsManager &m_recentCommandsManager;
};

} // namespace plimsy
