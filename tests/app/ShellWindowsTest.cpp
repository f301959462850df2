// The shell's windows on the offscreen platform: About, the announcement and the main menu's Edit items.
#include "FakeHttpServer.h"
#include "RecordingUrlOpener.h"
#include "app/AboutWindow.h"
#include "app/AnnouncementWindow.h"
#include "app/ApplicationMenu.h"
#include "platform/DockVisibilityManager.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class ShellWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DockVisibilityManager::setApplyState([this](ApplicationTransformState state) { applied << state; });
    }
    void TearDown() override { DockVisibilityManager::setApplyState({}); }

    template <typename T> static T *child(const TrackedWindow &window, const char *name)
    {
        return window.window()->findChild<T *>(QString::fromLatin1(name));
    }

    QList<ApplicationTransformState> applied;
    RecordingUrlOpener opener;
};

TEST_F(ShellWindowsTest, AboutShowsTheVersionAndItsLinks)
{
    int logFilesShown = 0;
    AboutWindow about({QStringLiteral("2.1"), QStringLiteral("57"), 2026},
                      {&opener, [&logFilesShown] { ++logFilesShown; }});
    about.showWindow();

    EXPECT_EQ(about.window()->windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(child<QLabel>(about, "versionLabel")->text(), QStringLiteral("2.1 (57)"));
    EXPECT_TRUE(child<QLabel>(about, "noticeLabel")->text().contains(QStringLiteral("2026")));
    child<QPushButton>(about, "logFilesButton")->click();
    child<QPushButton>(about, "supportButton")->click();
    child<QPushButton>(about, "privacyPolicyButton")->click();
    EXPECT_EQ(logFilesShown, 1);
    ASSERT_EQ(opener.opened.size(), 2);
    EXPECT_EQ(opener.opened.at(0).scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(QUrlQuery(opener.opened.at(0)).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("Plimsy Support (v2.1 build 57)"));
    EXPECT_EQ(opener.opened.at(1).path(), QStringLiteral("/privacy"));

    // The development web base under "-useDevBackend".
    qputenv("PLIMSY_DEV_WEB_BASE", "http://plimsy.test");
    EXPECT_EQ(AboutWindowViewModel::privacyURL({QStringLiteral("plimsy"), QStringLiteral("-useDevBackend")}),
              QUrl(QStringLiteral("http://plimsy.test/privacy?utm_source=plimsy&utm_medium=about")));
    qunsetenv("PLIMSY_DEV_WEB_BASE");
}

TEST_F(ShellWindowsTest, AboutOpensWithoutAFocusedLinkAndClosesFromTheKeyboard)
{
    AboutWindow about({QStringLiteral("2.1"), QStringLiteral("57"), 2026}, {&opener, [] {}});
    // Opened twice: the second time the focus is where the first left it.
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        about.showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(about.window()));
        auto *link = child<QPushButton>(about, "privacyPolicyButton");
        if (keys == QKeySequence(Qt::Key_Escape)) {
            QWidget *focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            EXPECT_EQ(qobject_cast<QAbstractButton *>(focused), nullptr) << focused->objectName().toStdString();
            // Space and Return right after opening visit nothing.
            QTest::keyClick(focused, Qt::Key_Space);
            QTest::keyClick(focused, Qt::Key_Return);
            EXPECT_TRUE(opener.opened.isEmpty());
            // Tab reaches the link, drawn without a style sheet that would hide its focus frame.
            QTest::keyClick(focused, Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), link);
            EXPECT_TRUE(link->styleSheet().isEmpty());
        }
        QTest::keySequence(QApplication::focusWidget(), keys);
        EXPECT_TRUE(QTest::qWaitFor([&about] { return !about.window() || !about.window()->isVisible(); }, 5'000))
            << keys.toString().toStdString();
    }
}

TEST_F(ShellWindowsTest, AReplacedAboutWindowLeavesTheOpenWindowCount)
{
    const qint64 before = DockVisibilityManager::windowCount();
    auto about = std::make_unique<AboutWindow>();
    about->showWindow();
    about->showWindow();
    EXPECT_EQ(DockVisibilityManager::windowCount(), before + 1);
    about->close();
    EXPECT_EQ(DockVisibilityManager::windowCount(), before);

    about->showWindow();
    // The status menu's About item replaces the kept window while it is still open.
    about = std::make_unique<AboutWindow>();
    EXPECT_EQ(DockVisibilityManager::windowCount(), before);
    about->showWindow();
    EXPECT_EQ(DockVisibilityManager::windowCount(), before + 1);
    about.reset();
    EXPECT_EQ(DockVisibilityManager::windowCount(), before);
    EXPECT_EQ(applied.count(ApplicationTransformState::Foreground), 3);
    EXPECT_EQ(applied.count(ApplicationTransformState::UIElement), 3);
}

TEST_F(ShellWindowsTest, TheAnnouncementShowsItsPageUntilDontShowAgain)
{
    FakeHttpServer server;
    server.route("GET", QStringLiteral("/news"), FakeResponse::html("<h1>Plimsy 1.1</h1>", 200));
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("Plimsy.conf")));
    defaults.setValue(QLatin1String(AnnouncementWindow::URLKey),
                      QStringLiteral("  ") + server.url(QStringLiteral("/news")).toString() + QStringLiteral("\n"));

    AnnouncementWindow announcement(&defaults);
    announcement.showWindow();
    EXPECT_EQ(announcement.window()->windowTitle(), QStringLiteral("New Version"));
    EXPECT_TRUE(announcement.isTrackedAsOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("GET", QStringLiteral("/news")) == 1; }, 60'000));

    child<QPushButton>(announcement, "dontShowAgainButton")->click();
    EXPECT_TRUE(defaults.boolValue(QLatin1String(AnnouncementWindow::DontShowKey)));
    EXPECT_FALSE(announcement.window()->isVisible());
    EXPECT_FALSE(announcement.isTrackedAsOpen());
}

TEST_F(ShellWindowsTest, EditItemsActOnTheFocusedField)
{
    const auto bar = ApplicationMenu::buildMainMenu();
    QMenu *edit = bar->findChild<QMenu *>(QStringLiteral("editMenu"));
    ASSERT_NE(edit, nullptr);
    QStringList titles;
    for (const QAction *item : edit->actions()) {
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    EXPECT_EQ(titles, (QStringList{"Undo", "Redo", "-", "Cut", "Copy", "Paste", "Select All"}));
    EXPECT_EQ(edit->actions().at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));

    QLineEdit field(QStringLiteral("server-42.example.com"));
    field.show();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
    field.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == &field; }, 20'000));
    QApplication::clipboard()->clear();
    edit->actions().at(6)->trigger();
    edit->actions().at(4)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("server-42.example.com"));
}

} // namespace
