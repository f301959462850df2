#include "platform/UserDefaults.h"
#include "preferences/PreferencesNativeTable.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace plimsy;

namespace {

QList<PreferencesTableRow> rowsOf(const QStringList &names)
{
    QList<PreferencesTableRow> rows;
    for (const QString &name : names) {
        rows.append({name, {name}, {}});
    }
    return rows;
}

std::unique_ptr<QMimeData> dragged(PreferencesTableModel &model, int row)
{
    return std::unique_ptr<QMimeData>(model.mimeData({model.index(row, 0)}));
}

struct DropRow
{
    const char *name;
    int source;
    int gap;  // the row the drop lands before; -1 below the last row
    int onto; // >= 0: dropped onto this row instead of a gap
    bool hasOnMove;
    std::optional<std::pair<int, int>> move;
};

class PreferencesTableDropTest : public ::testing::TestWithParam<DropRow>
{
};

TEST_P(PreferencesTableDropTest, MovesOnlyIntoAnotherGap)
{
    const DropRow &row = GetParam();
    std::optional<std::pair<int, int>> moved;
    PreferencesTableModel::MoveHandler onMove;
    if (row.hasOnMove) {
        onMove = [&moved](int from, int to) { moved = {from, to}; };
    }
    PreferencesTableModel model({{"Name", std::nullopt, 60}}, onMove);
    model.setRows(rowsOf({"a", "b", "c"}));

    // A drag of one row carries its index under the private type.
    auto data = std::make_unique<QMimeData>();
    data->setData(PreferencesTableRowMimeType, QByteArray::number(row.source));
    const QModelIndex parent = row.onto >= 0 ? model.index(row.onto, 0) : QModelIndex();
    const int gap = row.onto >= 0 ? -1 : row.gap;

    EXPECT_EQ(model.canDropMimeData(data.get(), Qt::MoveAction, gap, 0, parent), row.hasOnMove && row.onto < 0);
    EXPECT_EQ(model.dropMimeData(data.get(), Qt::MoveAction, gap, 0, parent), row.move.has_value());
    EXPECT_EQ(moved, row.move);
    EXPECT_EQ(dragged(model, row.source) != nullptr, row.hasOnMove);
    EXPECT_EQ(bool(model.flags(model.index(0, 0)) & Qt::ItemIsDragEnabled), row.hasOnMove);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsDropEnabled);
    EXPECT_EQ(bool(model.flags({}) & Qt::ItemIsDropEnabled), row.hasOnMove);
}

INSTANTIATE_TEST_SUITE_P(Drops,
                         PreferencesTableDropTest,
                         ::testing::Values(DropRow{"firstIntoGapTwo", 0, 2, -1, true, {{0, 1}}},
                                           DropRow{"lastIntoGapZero", 2, 0, -1, true, {{2, 0}}},
                                           DropRow{"firstBelowTheLastRow", 0, -1, -1, true, {{0, 2}}},
                                           DropRow{"ownGapAbove", 1, 1, -1, true, std::nullopt},
                                           DropRow{"ownGapBelow", 1, 2, -1, true, std::nullopt},
                                           DropRow{"ontoARow", 0, -1, 2, true, std::nullopt},
                                           DropRow{"withoutOnMove", 0, 2, -1, false, std::nullopt}),
                         [](const auto &info) { return std::string(info.param.name); });

// Counts the drag moves a widget receives.
class DragMoves : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::DragMove ? 1 : 0;
        return false;
    }
};

class PreferencesTableTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath("defaults.conf")};
};

TEST_F(PreferencesTableTest, ReloadsOnlyForNewIdsOrTextsAndFollowsTheSelection)
{
    PreferencesNativeTable table({{"Name", std::nullopt, 60}}, "TestTable", defaults);
    EXPECT_FALSE(table.dragEnabled());
    EXPECT_FALSE(table.acceptDrops());
    QList<QVariant> reported;
    QObject::connect(&table, &PreferencesNativeTable::selectedIdChanged, [&](const QVariant &id) { reported << id; });
    int resets = 0;
    QObject::connect(&table.tableModel(), &QAbstractItemModel::modelReset, [&] { ++resets; });

    table.setRows(rowsOf({"a", "b"}), QString("b"));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(table.selectedId(), QVariant("b"));
    auto withIcons = rowsOf({"a", "b"});
    withIcons[0].icon = QIcon::fromTheme("dialog-password");
    table.setRows(withIcons, QString("b"));
    EXPECT_EQ(resets, 1);
    table.setRows(rowsOf({"a", "c"}), QString("b"));
    EXPECT_EQ(resets, 2);
    EXPECT_FALSE(table.selectedId().isValid());
    table.setRows(rowsOf({"a", "c"}), QString("c"));
    table.setRows(rowsOf({"a", "c"}), QVariant());
    EXPECT_FALSE(table.selectedId().isValid());
    EXPECT_EQ(reported, (QList<QVariant>{QString("b"), QString("c"), QVariant()}));
}

// A real drag with the mouse, on the platform's own drag loop: the moved row must survive the view's
// clean-up after a move drop.
TEST_F(PreferencesTableTest, AfterARealDragEveryRowIsStillThere)
{
    QStringList names{"a", "b", "c"};
    std::unique_ptr<PreferencesNativeTable> table;
    table = std::make_unique<PreferencesNativeTable>(
        QList<PreferencesTableColumn>{{"Name", std::nullopt, 60}}, "DragTable", defaults, [&](int from, int to) {
            names.move(from, to);
            table->setRows(rowsOf(names), QVariant());
        });
    EXPECT_TRUE(table->dragEnabled());
    EXPECT_FALSE(table->dragDropOverwriteMode());
    table->setRows(rowsOf(names), QVariant());
    table->resize(300, 200);
    table->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(table.get()));

    QWidget *viewport = table->viewport();
    QWindow *handle = table->windowHandle();
    const auto at = [&](const QPoint &point) { return viewport->mapTo(table.get(), point); };
    const QPoint from = table->visualRect(table->tableModel().index(0, 0)).center();
    const QRect last = table->visualRect(table->tableModel().index(2, 0));
    const QPoint to(last.center().x(), last.bottom() - 1); // the gap below the last row
    const QPoint away = from + QPoint(0, 2 * QApplication::startDragDistance());
    QTest::mousePress(handle, Qt::LeftButton, {}, at(from));
    QTest::mouseMove(handle, at(away - QPoint(0, 1)));
    DragMoves moves;
    viewport->installEventFilter(&moves);
    bool dropped = false;
    // The next move starts the drag, which runs a loop of its own: the pointer moves and lets go from
    // inside it. The window system answers each move later; a second move arrives only after the first
    // one's answer, and only then does letting go drop.
    QTimer::singleShot(0, viewport, [&] {
        QTest::mouseMove(handle, at(to) - QPoint(0, 1));
        const bool answered = QTest::qWaitFor([&] { return moves.count >= 1; }, 20'000);
        QTest::mouseMove(handle, at(to));
        dropped = answered && QTest::qWaitFor([&] { return moves.count >= 2; }, 20'000);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at(to));
    });
    QTest::mouseMove(handle, at(away));
    ASSERT_TRUE(dropped);
    QCoreApplication::processEvents();

    EXPECT_EQ(names, (QStringList{"b", "c", "a"}));
    EXPECT_EQ(table->tableModel().rowCount(), 3);
    EXPECT_EQ(table->tableModel().rows(), rowsOf({"b", "c", "a"}));
}

} // namespace
