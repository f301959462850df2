#include "editor/LineEndings.h"

#include <QHash>
#include <QList>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace plimsy {

namespace {

struct Line
{
    QStringView text;
    QStringView ending;
};

// Split at CRLF, lone CR and LF, as the editor does; the last line has no ending.
QList<Line> splitLines(QStringView text)
{
    QList<Line> lines;
    qsizetype start = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        const qsizetype length = c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n' ? 2 : 1;
        lines.push_back({text.mid(start, at - start), text.mid(at, length)});
        at += length - 1;
        start = at + 1;
    }
    lines.push_back({text.mid(start), {}});
    return lines;
}

QStringView commonestEnding(const QList<Line> &lines)
{
    static constexpr std::array<QStringView, 3> Kinds{u"\n", u"\r\n", u"\r"};
    std::array<qsizetype, 3> counts{};
    for (const Line &line : lines) {
        for (size_t kind = 0; kind < Kinds.size(); ++kind) {
            counts[kind] += line.ending == Kinds[kind] ? 1 : 0;
        }
    }
    return Kinds[static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin())];
}

// A longest common subsequence of two sequences of line ids, by Myers' O(ND) diff with its
// linear-space refinement: the cost grows with the size of the edit, not of the text. Past a cost
// of `costLimit` on one split (a text rewritten throughout) it takes the furthest path found so
// far, as an exact answer would cost the square of the text.
class CommonLines
{
public:
    CommonLines(const std::vector<int> &a, const std::vector<int> &b, std::vector<qsizetype> &matchOfB)
        : m_a(a)
        , m_b(b)
        , m_matchOfB(matchOfB)
        , m_forward(a.size() + b.size() + 3)
        , m_backward(a.size() + b.size() + 3)
        , m_offset(static_cast<qsizetype>(b.size()) + 1)
        , m_costLimit(std::max<qsizetype>(256, 20'000'000 / static_cast<qsizetype>(a.size() + b.size() + 1)))
    {
        compare(0, static_cast<qsizetype>(a.size()), 0, static_cast<qsizetype>(b.size()));
    }

private:
    struct Point
    {
        qsizetype x;
        qsizetype y;
    };

    qsizetype &forward(qsizetype diagonal) { return m_forward[static_cast<size_t>(diagonal + m_offset)]; }
    qsizetype &backward(qsizetype diagonal) { return m_backward[static_cast<size_t>(diagonal + m_offset)]; }

    // One more step of a search reaches the diagonals on either side, as far as the box allows; the
    // new outer neighbours read as unreached.
    template <typename Reached>
    static void
    widen(Reached reached, qsizetype &min, qsizetype &max, qsizetype lowest, qsizetype highest, qsizetype none)
    {
        if (min > lowest) {
            reached(--min - 1) = none;
        } else {
            ++min;
        }
        if (max < highest) {
            reached(++max + 1) = none;
        } else {
            --max;
        }
    }
    bool equal(qsizetype x, qsizetype y) const { return m_a[static_cast<size_t>(x)] == m_b[static_cast<size_t>(y)]; }

    void compare(qsizetype xLow, qsizetype xHigh, qsizetype yLow, qsizetype yHigh)
    {
        while (xLow < xHigh && yLow < yHigh && equal(xLow, yLow)) {
            m_matchOfB[static_cast<size_t>(yLow++)] = xLow++;
        }
        while (xLow < xHigh && yLow < yHigh && equal(xHigh - 1, yHigh - 1)) {
            m_matchOfB[static_cast<size_t>(--yHigh)] = --xHigh;
        }
        if (xLow == xHigh || yLow == yHigh) {
            return;
        }
        const Point middle = split(xLow, xHigh, yLow, yHigh);
        if ((middle.x == xLow && middle.y == yLow) || (middle.x == xHigh && middle.y == yHigh)) {
            return; // no progress: nothing in common that the search could find
        }
        compare(xLow, middle.x, yLow, middle.y);
        compare(middle.x, xHigh, middle.y, yHigh);
    }

    // A point on a shortest edit path through the box, found by searching from both corners.
    Point split(qsizetype xLow, qsizetype xHigh, qsizetype yLow, qsizetype yHigh)
    {
        const qsizetype lowest = xLow - yHigh;
        const qsizetype highest = xHigh - yLow;
        const qsizetype forwardMiddle = xLow - yLow;
        const qsizetype backwardMiddle = xHigh - yHigh;
        qsizetype forwardMin = forwardMiddle;
        qsizetype forwardMax = forwardMiddle;
        qsizetype backwardMin = backwardMiddle;
        qsizetype backwardMax = backwardMiddle;
        const bool odd = ((forwardMiddle - backwardMiddle) & 1) != 0;
        forward(forwardMiddle) = xLow;
        backward(backwardMiddle) = xHigh;
        for (qsizetype cost = 1;; ++cost) {
            widen(
                [this](qsizetype d) -> qsizetype & { return forward(d); }, forwardMin, forwardMax, lowest, highest, -1);
            for (qsizetype d = forwardMax; d >= forwardMin; d -= 2) {
                const qsizetype below = forward(d - 1);
                const qsizetype above = forward(d + 1);
                qsizetype x = below >= above ? below + 1 : above;
                qsizetype y = x - d;
                while (x < xHigh && y < yHigh && equal(x, y)) {
                    ++x;
                    ++y;
                }
                forward(d) = x;
                if (odd && backwardMin <= d && d <= backwardMax && backward(d) <= x) {
                    return {x, y};
                }
            }
            const qsizetype none = std::numeric_limits<qsizetype>::max();
            widen([this](qsizetype d) -> qsizetype & { return backward(d); },
                  backwardMin,
                  backwardMax,
                  lowest,
                  highest,
                  none);
            for (qsizetype d = backwardMax; d >= backwardMin; d -= 2) {
                const qsizetype below = backward(d - 1);
                const qsizetype above = backward(d + 1);
                qsizetype x = below < above ? below : above - 1;
                qsizetype y = x - d;
                while (xLow < x && yLow < y && equal(x - 1, y - 1)) {
                    --x;
                    --y;
                }
                backward(d) = x;
                if (!odd && forwardMin <= d && d <= forwardMax && x <= forward(d)) {
                    return {x, y};
                }
            }
            if (cost >= m_costLimit) {
                return furthest(xLow, xHigh, yLow, yHigh, {forwardMin, forwardMax, backwardMin, backwardMax});
            }
        }
    }

    struct Reach
    {
        qsizetype forwardMin;
        qsizetype forwardMax;
        qsizetype backwardMin;
        qsizetype backwardMax;
    };

    // The point either search has taken furthest into the box.
    Point furthest(qsizetype xLow, qsizetype xHigh, qsizetype yLow, qsizetype yHigh, Reach reach)
    {
        Point best{xLow, yLow};
        qsizetype bestForward = -1;
        for (qsizetype d = reach.forwardMax; d >= reach.forwardMin; d -= 2) {
            qsizetype x = std::min(forward(d), xHigh);
            qsizetype y = x - d;
            if (y > yHigh) {
                x = yHigh + d;
                y = yHigh;
            }
            if (x + y > bestForward) {
                bestForward = x + y;
                best = {x, y};
            }
        }
        qsizetype bestBackward = std::numeric_limits<qsizetype>::max();
        Point backwardBest{xHigh, yHigh};
        for (qsizetype d = reach.backwardMax; d >= reach.backwardMin; d -= 2) {
            qsizetype x = std::max(backward(d), xLow);
            qsizetype y = x - d;
            if (y < yLow) {
                x = yLow + d;
                y = yLow;
            }
            if (x + y < bestBackward) {
                bestBackward = x + y;
                backwardBest = {x, y};
            }
        }
        return (xHigh + yHigh) - bestBackward < bestForward - (xLow + yLow) ? best : backwardBest;
    }

    const std::vector<int> &m_a;
    const std::vector<int> &m_b;
    std::vector<qsizetype> &m_matchOfB;
    std::vector<qsizetype> m_forward;
    std::vector<qsizetype> m_backward;
    qsizetype m_offset;
    qsizetype m_costLimit;
};

// For each edited line in [editedBegin, editedEnd), the loaded line in [loadedBegin, loadedEnd) it keeps, or -1.
// Lines found on one side only can be in no common subsequence, so the diff runs without them: a
// rewritten text leaves it little to compare.
void matchMiddle(const QList<Line> &loaded,
                 const QList<Line> &edited,
                 qsizetype loadedBegin,
                 qsizetype loadedEnd,
                 qsizetype editedBegin,
                 qsizetype editedEnd,
                 QList<qsizetype> &match)
{
    if (loadedBegin == loadedEnd || editedBegin == editedEnd) {
        return;
    }
    QHash<QStringView, int> ids;
    ids.reserve(loadedEnd - loadedBegin);
    std::vector<int> loadedIds;
    loadedIds.reserve(static_cast<size_t>(loadedEnd - loadedBegin));
    for (qsizetype index = loadedBegin; index < loadedEnd; ++index) {
        auto found = ids.find(loaded[index].text);
        if (found == ids.end()) {
            found = ids.insert(loaded[index].text, int(ids.size()));
        }
        loadedIds.push_back(*found);
    }
    std::vector<bool> onBothSides(ids.size(), false);
    std::vector<int> b;
    std::vector<qsizetype> bLines;
    for (qsizetype index = editedBegin; index < editedEnd; ++index) {
        const auto found = ids.constFind(edited[index].text);
        if (found != ids.cend()) {
            onBothSides[static_cast<size_t>(*found)] = true;
            b.push_back(*found);
            bLines.push_back(index);
        }
    }
    std::vector<int> a;
    std::vector<qsizetype> aLines;
    for (qsizetype index = loadedBegin; index < loadedEnd; ++index) {
        if (const int id = loadedIds[static_cast<size_t>(index - loadedBegin)]; onBothSides[static_cast<size_t>(id)]) {
            a.push_back(id);
            aLines.push_back(index);
        }
    }
    std::vector<qsizetype> matchOfB(b.size(), -1);
    if (!a.empty() && !b.empty()) {
        CommonLines(a, b, matchOfB);
    }
    for (size_t index = 0; index < b.size(); ++index) {
        if (matchOfB[index] >= 0) {
            match[bLines[index]] = aLines[static_cast<size_t>(matchOfB[index])];
        }
    }
}

} // namespace

QString withLoadedLineEndings(const QString &loaded, const QString &edited)
{
    const QList<Line> before = splitLines(loaded);
    const QList<Line> after = splitLines(edited);
    const qsizetype loadedCount = before.size();
    const qsizetype editedCount = after.size();

    // Which loaded line each edited line is: the common head and tail, then a diff of the middle.
    QList<qsizetype> match(editedCount, -1);
    qsizetype head = 0;
    while (head < loadedCount && head < editedCount && before[head].text == after[head].text) {
        match[head] = head;
        ++head;
    }
    qsizetype tail = 0;
    while (tail < loadedCount - head && tail < editedCount - head
           && before[loadedCount - 1 - tail].text == after[editedCount - 1 - tail].text) {
        match[editedCount - 1 - tail] = loadedCount - 1 - tail;
        ++tail;
    }
    matchMiddle(before, after, head, loadedCount - tail, head, editedCount - tail, match);

    // For each edited line, the loaded line of the next kept line at or after it.
    QList<qsizetype> nextKept(editedCount + 1, loadedCount);
    for (qsizetype index = editedCount - 1; index >= 0; --index) {
        nextKept[index] = match[index] >= 0 ? match[index] : nextKept[index + 1];
    }
    const QStringView commonest = commonestEnding(before);
    QString result;
    result.reserve(edited.size() + edited.size() / 8);
    QStringView previous;
    // The loaded line after the last kept one: a changed line takes the ending of the loaded line it
    // stands in place of, while the run of replaced lines lasts.
    qsizetype replaced = 0;
    for (qsizetype index = 0; index < editedCount; ++index) {
        result += after[index].text;
        if (index == editedCount - 1) {
            break;
        }
        QStringView ending;
        if (match[index] >= 0) {
            ending = before[match[index]].ending;
            replaced = match[index] + 1;
        } else if (replaced < nextKept[index]) {
            ending = before[replaced].ending;
            ++replaced;
        } else {
            ending = previous;
        }
        if (ending.isEmpty()) {
            ending = previous.isEmpty() ? commonest : previous;
        }
        result += ending;
        previous = ending;
    }
    return result;
}

} // namespace plimsy
