#include "editor/LineEndings.h"

#include <QList>

#include <algorithm>
#include <array>
#include <vector>

namespace plimsy {

namespace {

// Beyond this many cells the changed middle of a text is paired line by line instead of diffed: a diff
// that large is a replaced file, and the editor's thread must not stall on it.
constexpr qsizetype DiffCellLimit = 4'000'000;

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

// For each edited line in [editedBegin, editedEnd), the loaded line in [loadedBegin, loadedEnd) it keeps, or -1:
// a longest common subsequence of equal lines.
void matchMiddle(const QList<Line> &loaded,
                 const QList<Line> &edited,
                 qsizetype loadedBegin,
                 qsizetype loadedEnd,
                 qsizetype editedBegin,
                 qsizetype editedEnd,
                 QList<qsizetype> &match)
{
    const qsizetype rows = loadedEnd - loadedBegin;
    const qsizetype columns = editedEnd - editedBegin;
    if (rows == 0 || columns == 0 || rows * columns > DiffCellLimit) {
        return;
    }
    // lengths[i][j]: the common subsequence of loaded[i..] and edited[j..].
    std::vector<int> lengths(static_cast<size_t>((rows + 1) * (columns + 1)), 0);
    const auto at = [columns](qsizetype i, qsizetype j) { return static_cast<size_t>(i * (columns + 1) + j); };
    for (qsizetype i = rows - 1; i >= 0; --i) {
        for (qsizetype j = columns - 1; j >= 0; --j) {
            lengths[at(i, j)] = loaded[loadedBegin + i].text == edited[editedBegin + j].text
                                    ? lengths[at(i + 1, j + 1)] + 1
                                    : std::max(lengths[at(i + 1, j)], lengths[at(i, j + 1)]);
        }
    }
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < rows && j < columns) {
        if (loaded[loadedBegin + i].text == edited[editedBegin + j].text) {
            match[editedBegin + j] = loadedBegin + i;
            ++i;
            ++j;
        } else if (lengths[at(i + 1, j)] >= lengths[at(i, j + 1)]) {
            ++i;
        } else {
            ++j;
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
