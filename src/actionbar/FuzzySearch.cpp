#include "actionbar/FuzzySearch.h"

#include "actionbar/RecentCommandsManager.h"

#include <algorithm>

namespace plimsy {

namespace {

// The key made when the list was built, or one made now for an item built by hand.
const SearchText &keyOf(const std::shared_ptr<const SearchText> &key, const QString &text, SearchText &scratch)
{
    if (key) {
        return *key;
    }
    scratch = SearchText(text);
    return scratch;
}

bool sameCharacter(const SearchText &a, qsizetype i, const SearchText &b, qsizetype j)
{
    if (a.isSimple() && b.isSimple()) {
        return a.text().at(i) == b.text().at(j);
    }
    return a.character(i) == b.character(j);
}

} // namespace

FuzzySearch::FuzzySearch(const RecentCommandsManager &recentCommandsManager)
    : m_recentCommandsManager(recentCommandsManager)
{
}

QList<FuzzyMatch> FuzzySearch::search(const QString &query, const QList<ActionBarItem> &items) const
{
    const QDateTime now = m_recentCommandsManager.now();
    QList<FuzzyMatch> matches;
    matches.reserve(items.size());
    if (query.isEmpty()) {
        for (const ActionBarItem &item : items) {
            matches.append({item, m_recentCommandsManager.commandRecencyScore(item.id, now), {}});
        }
    } else {
        const SearchText lowered(query);
        QList<SearchText> words;
        for (const QStringView word : QStringView(query).split(u' ', Qt::SkipEmptyParts)) {
            words.append(SearchText(word));
        }
        for (const ActionBarItem &item : items) {
            if (auto match = scoreItem(item, words, lowered, now)) {
                matches.append(std::move(*match));
            }
        }
    }
    std::stable_sort(
        matches.begin(), matches.end(), [](const FuzzyMatch &a, const FuzzyMatch &b) { return a.score > b.score; });
    return matches;
}

std::optional<FuzzyMatch> FuzzySearch::scoreItem(const ActionBarItem &item,
                                                 const QList<SearchText> &words,
                                                 const SearchText &query,
                                                 const QDateTime &now) const
{
    SearchText textScratch;
    const SearchText &text = keyOf(item.searchKey, item.searchableText, textScratch);
    int score = 0;
    QList<CharacterRange> ranges;
    for (const SearchText &word : words) {
        auto match = matchWord(word, text);
        if (!match) {
            return std::nullopt;
        }
        score += match->score;
        ranges.append(match->ranges);
    }
    SearchText entityScratch;
    const SearchText &entity = keyOf(item.entityKey, item.entityName, entityScratch);
    if (!entity.isEmpty()) {
        const QString &e = entity.text();
        const QString &q = query.text();
        if (e == q) {
            score += 500;
        } else if (entity.hasPrefixAt(query, 0)) {
            score += 300;
        } else if (query.hasPrefixAt(entity, 0)) {
            score += 150;
        }
    }
    score += m_recentCommandsManager.commandRecencyScore(item.id, now) / 2;
    score += m_recentCommandsManager.entityRecencyScore(item.entityName, now);
    return FuzzyMatch{item, score, std::move(ranges)};
}

std::optional<WordMatch> FuzzySearch::matchWord(const SearchText &word, const SearchText &text)
{
    const int length = int(word.characterCount());
    if (const auto found = text.find(word)) {
        int score = 10 * length;
        if (found->first == 0) {
            score += 50;
        } else if (isSeparator(text.character(found->first - 1))) {
            score += 40;
        }
        return WordMatch{score, {*found}};
    }
    // In plain ASCII a word prefix is also a substring; only cluster boundaries can tell them apart.
    const bool canDiffer = !word.isSimple() || !text.isSimple();
    for (qsizetype at = 0; canDiffer && at < text.characterCount(); ++at) {
        const bool startsPiece = at == 0 || text.character(at - 1) == QStringView(u" ");
        if (startsPiece && text.character(at) != QStringView(u" ") && text.hasPrefixAt(word, at)) {
            return WordMatch{8 * length + 30, {}};
        }
    }
    return fuzzyMatch(word, text);
}

std::optional<WordMatch> FuzzySearch::fuzzyMatch(const SearchText &word, const SearchText &text)
{
    if (word.isEmpty()) {
        return WordMatch{};
    }
    const qsizetype wordLength = word.characterCount();
    const qsizetype textLength = text.characterCount();
    qsizetype next = 0;
    int score = 0;
    qsizetype previous = -1;
    int run = 0;
    qsizetype runStart = 0;
    QList<CharacterRange> ranges;
    for (qsizetype p = 0; p < textLength && next < wordLength; ++p) {
        if (!sameCharacter(text, p, word, next)) {
            continue;
        }
        score += 1;
        if (previous >= 0 && previous == p - 1) {
            run += 1;
            score += 5 * run;
        } else {
            if (previous >= 0) {
                ranges.append({runStart, previous + 1});
            }
            runStart = p;
            run = 0;
        }
        if (p == 0) {
            score += 20;
        } else if (isSeparator(text.character(p - 1))) {
            score += 15;
        }
        ++next;
        previous = p;
    }
    if (next < wordLength) {
        return std::nullopt;
    }
    ranges.append({runStart, previous + 1});
    return WordMatch{score, std::move(ranges)};
}

} // namespace plimsy
