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

// The word's characters in order through the text, scored by runs and by where they land; none when the
// text lacks them. `same(p, n)` compares text character p with word character n; `separatorBefore(p)` says
// whether the character before p separates words.
template <typename Same, typename SeparatorBefore>
std::optional<WordMatch>
walkInOrder(qsizetype wordLength, qsizetype textLength, Same same, SeparatorBefore separatorBefore)
{
    qsizetype next = 0;
    int score = 0;
    qsizetype previous = -1;
    int run = 0;
    qsizetype runStart = 0;
    QList<CharacterRange> ranges;
    for (qsizetype p = 0; p < textLength && next < wordLength; ++p) {
        if (!same(p, next)) {
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
        } else if (separatorBefore(p)) {
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

} // namespace

FuzzySearch::FuzzySearch(const RecentCommandsManager &recentCommandsManager)
    : m_recentCommandsManager(recentCommandsManager)
{
}

QList<FuzzyMatch> FuzzySearch::search(const QString &query, const QList<ActionBarItem> &items) const
{
    // Score and sort light entries, then share the list with each match.
    struct Scored
    {
        qsizetype index;
        int score;
        QList<CharacterRange> ranges;
    };
    const QDateTime now = m_recentCommandsManager.now();
    std::vector<Scored> scored;
    if (query.isEmpty()) {
        scored.reserve(size_t(items.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            scored.push_back({i, m_recentCommandsManager.commandRecencyScore(items.at(i).id, now), {}});
        }
    } else {
        const SearchText lowered(query);
        QList<SearchText> words;
        for (const QStringView word : QStringView(query).split(u' ', Qt::SkipEmptyParts)) {
            words.append(SearchText(word));
        }
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (auto match = scoreItem(items.at(i), words, lowered, now)) {
                scored.push_back({i, match->score, std::move(match->ranges)});
            }
        }
    }
    std::stable_sort(scored.begin(), scored.end(), [](const Scored &a, const Scored &b) { return a.score > b.score; });
    QList<FuzzyMatch> matches;
    matches.reserve(qsizetype(scored.size()));
    for (Scored &entry : scored) {
        matches.append({entry.score, std::move(entry.ranges), items, entry.index});
    }
    return matches;
}

std::optional<WordMatch> FuzzySearch::scoreItem(const ActionBarItem &item,
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
        if (ranges.isEmpty()) {
            ranges = std::move(match->ranges);
        } else {
            ranges.append(match->ranges);
        }
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
    return WordMatch{score, std::move(ranges)};
}

std::optional<WordMatch> FuzzySearch::matchWord(const SearchText &word, const SearchText &text)
{
    if (!text.mayContain(word)) {
        return std::nullopt;
    }
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
    if (word.isSimple() && text.isSimple()) {
        // Every code unit is one character: find the units in order with the library's vectorised search
        // first, as most texts fail, then compare units directly while scoring.
        const QStringView whole(text.text());
        qsizetype at = 0;
        for (const QChar c : word.text()) {
            at = whole.indexOf(c, at);
            if (at < 0) {
                return std::nullopt;
            }
            ++at;
        }
        const QChar *w = word.text().constData();
        const QChar *t = text.text().constData();
        return walkInOrder(
            word.characterCount(),
            text.characterCount(),
            [w, t](qsizetype p, qsizetype n) { return t[p] == w[n]; },
            [t](qsizetype p) { return isSeparator(t[p - 1].unicode()); });
    }
    return walkInOrder(
        word.characterCount(),
        text.characterCount(),
        [&](qsizetype p, qsizetype n) { return text.character(p) == word.character(n); },
        [&](qsizetype p) { return isSeparator(text.character(p - 1)); });
}

} // namespace plimsy
