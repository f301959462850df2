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
    ActionBarItem item;
    int score = 0;
    QList<CharacterRange> matchedRanges; // in query-word order; none for word-prefix matches
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

    // `words` and `query` lowercased (as SearchTexts); none when a word does not match.
    std::optional<FuzzyMatch> scoreItem(const ActionBarItem &item,
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
