#include "editor/LineEndings.h"

#include <gtest/gtest.h>

#include <QList>
#include <QStringList>

#include <functional>

using namespace plimsy;

namespace {

struct Line
{
    QString text;
    QString ending;
};

// Lines with endings drawn at random from LF, CRLF and CR, and some texts repeated, as blank lines
// and closing braces are.
QList<Line> generatedLines(int count)
{
    static const QStringList Endings{QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r")};
    QList<Line> lines;
    quint32 seed = 12345;
    for (int index = 0; index < count; ++index) {
        seed = seed * 1103515245u + 12345u;
        const QString text = index % 10 == 9  ? QString()
                             : index % 7 == 6 ? QStringLiteral("}")
                                              : QStringLiteral("KEY_%1=value %2").arg(index).arg(seed % 1000);
        lines.push_back({text, index == count - 1 ? QString() : Endings[int(seed >> 16) % 3]});
    }
    // A lone CR before an empty line would read as one CRLF.
    for (int index = 0; index + 1 < count; ++index) {
        if (lines[index + 1].text.isEmpty() && lines[index].ending == Endings[2]) {
            lines[index].ending = Endings[1];
        }
    }
    return lines;
}

QString joined(const QList<Line> &lines, const QString &ending = {})
{
    QString text;
    for (const Line &line : lines) {
        text += line.text + (ending.isEmpty() || &line == &lines.back() ? line.ending : ending);
    }
    return text;
}

// An edited line and the loaded line whose ending it must keep: the same line unedited, or the
// line it was changed from in place; -1 for an added line.
struct EditedLine
{
    QString text;
    int from;
};

struct EditRow
{
    const char *name;
    std::function<QList<EditedLine>(int count)> edit;
};

QList<EditedLine> unedited(int count)
{
    QList<EditedLine> lines;
    for (int index = 0; index < count; ++index) {
        lines.push_back({QString(), index});
    }
    return lines;
}

QList<EditedLine> changed(QList<EditedLine> lines, int at)
{
    lines[at].text = QStringLiteral("changed %1").arg(at);
    return lines;
}

QList<EditedLine> inserted(QList<EditedLine> lines, int at)
{
    lines.insert(at, {QStringLiteral("inserted"), -1});
    return lines;
}

} // namespace

// Whatever the size of the text, an edit keeps the ending of every line it leaves alone, and a
// changed line takes that of the line it replaces.
TEST(LineEndings, EveryUneditedLineKeepsItsEndingAtAnySize)
{
    const QList<EditRow> rows{
        {"one inserted", [](int count) { return inserted(unedited(count), count / 2); }},
        {"one deleted",
         [](int count) {
             QList<EditedLine> lines = unedited(count);
             lines.removeAt(count / 3);
             return lines;
         }},
        {"first and last changed, one inserted",
         [](int count) { return inserted(changed(changed(unedited(count), 0), count - 1), std::min(100, count / 2)); }},
        {"everything changed",
         [](int count) {
             QList<EditedLine> lines = unedited(count);
             for (int index = 0; index < count; ++index) {
                 lines = changed(std::move(lines), index);
             }
             return lines;
         }},
    };
    for (const int count : {10, 2'100, 50'000}) {
        const QList<Line> loaded = generatedLines(count);
        for (const EditRow &row : rows) {
            SCOPED_TRACE(testing::Message() << row.name << ", " << count << " lines");
            QList<EditedLine> edit = row.edit(count);
            QList<Line> edited;
            for (EditedLine &line : edit) {
                if (line.text.isNull()) {
                    line.text = loaded[line.from].text;
                }
                edited.push_back({line.text, QStringLiteral("\n")});
            }
            edited.back().ending.clear();

            const QString restored = withLoadedLineEndings(joined(loaded), joined(edited));

            // Walk the restored text line by line against the edit.
            qsizetype at = 0;
            int wrong = 0;
            for (int index = 0; index < edit.size(); ++index) {
                const QString &text = edit[index].text;
                ASSERT_EQ(QStringView(restored).mid(at, text.size()), text) << "line " << index;
                at += text.size();
                qsizetype length = at < restored.size() && restored[at] == u'\r' ? 1 : 0;
                length += at + length < restored.size() && restored[at + length] == u'\n' ? 1 : 0;
                const QStringView ending = QStringView(restored).mid(at, length);
                at += length;
                const bool isLast = index == edit.size() - 1;
                if (isLast ? !ending.isEmpty() : edit[index].from >= 0 && ending != loaded[edit[index].from].ending) {
                    ++wrong;
                }
            }
            EXPECT_EQ(at, restored.size());
            EXPECT_EQ(wrong, 0);
        }
    }
}
