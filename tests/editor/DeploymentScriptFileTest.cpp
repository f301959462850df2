#include "EditorWindowFixture.h"
#include "core/LoadedRecords.h"
#include "editor/ConfigurationEditorView.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

using namespace plimsy;
using namespace plimsy::test;

namespace {

const QString StorageKey = QString::fromLatin1(DeploymentScriptFileStore::StorageKey);

// The sites a refresh would have loaded, for naming the owner of a shared file.
class LoadedSites final : public LoadedRecords
{
public:
    QList<Server> servers() const override { return {}; }
    QList<Site> sites() const override { return list; }
    bool isLoadingData() const override { return false; }
    QList<Site> list;
};

class DeploymentScriptFileTest : public EditorWindowFixture
{
protected:
    void SetUp() override
    {
        EditorWindowFixture::SetUp();
        LoadedRecords::setCurrent(&loaded);
    }

    void TearDown() override
    {
        EditorWindowFixture::TearDown();
        LoadedRecords::setCurrent(nullptr);
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Answers the next file panel with `path`.
    void choose(const QString &path)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.panels().isEmpty() && alerts.panels().last().open; },
                                    EditorWaitLimit));
        alerts.choose(alerts.panels().last().id, path);
    }

    QString status() const { return window()->findChild<QLabel *>(QStringLiteral("statusLabel"))->text(); }

    std::optional<QString> link() const { return fileStore.path(server.id, site.id); }

    // Waits until the window's file-link work has settled: one answer of the page comes after it.
    void settle()
    {
        pageText(editor());
        QCoreApplication::processEvents();
    }

    LoadedSites loaded;
};

} // namespace

// A stored entry that is not a path is dropped alone; keys that are not two numbers are kept but never
// named as a file's owner.
TEST_F(DeploymentScriptFileTest, TheStoreKeepsGoodLinksAndNamesOnlyRealSites)
{
    const QString shared = QStringLiteral("/srv/deploy.sh");
    defaults.setJson(StorageKey,
                     QJsonObject{{"12_345", shared},
                                 {"7_8", 5},
                                 {"_9", shared},
                                 {"12_", shared},
                                 {"x_1", shared},
                                 {"1_2_3", shared},
                                 {"40_41", shared}});
    EXPECT_EQ(fileStore.paths().size(), 6);
    EXPECT_EQ(fileStore.path(12, 345), shared);
    EXPECT_EQ(fileStore.owner(shared, 12, 345), (std::pair<qint64, qint64>{40, 41}));
    EXPECT_EQ(fileStore.owner(shared, 40, 41), (std::pair<qint64, qint64>{12, 345}));
    EXPECT_EQ(fileStore.owner(QStringLiteral("/srv/other.sh"), 12, 345), std::nullopt);

    fileStore.removePath(99, 99);
    fileStore.setPath(QStringLiteral("/srv/b.sh"), 1, 2);
    const QJsonObject stored = defaults.json(StorageKey).toObject();
    EXPECT_EQ(stored.size(), 7);
    EXPECT_EQ(stored.value("12_345"), shared);
    EXPECT_EQ(stored.value("1_2"), QStringLiteral("/srv/b.sh"));
    EXPECT_FALSE(stored.contains("7_8"));
}

// Load from a file, edit, write back (keeping the script executable), refuse an outside change until the
// user says so, and forget the file; the status line follows each step.
TEST_F(DeploymentScriptFileTest, AScriptLoadsFromAndWritesToItsFile)
{
    const QString path = writeFile(QStringLiteral("deploy.sh"), "cd /home/forge\nphp artisan migrate\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    open(ConfigurationType::Deployment);
    EXPECT_EQ(status(), QStringLiteral("Loaded from Forge"));

    window()->loadFromLinkedFile();
    choose(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link() == path; }, EditorWaitLimit));
    EXPECT_EQ(pageText(editor()), QStringLiteral("cd /home/forge\nphp artisan migrate\n"));
    EXPECT_TRUE(window()->windowTitle().endsWith(QStringLiteral(" \u2013 Edited")));
    EXPECT_EQ(status(), QStringLiteral("From deploy.sh \u2014 not on Forge yet"));

    typeIntoEditor(QStringLiteral("set -e; "));
    EXPECT_EQ(status(), QStringLiteral("Edited \u2014 differs from file and Forge"));
    window()->writeToFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return contents(path).startsWith("set -e; "); }, EditorWaitLimit));
    EXPECT_EQ(status(), QStringLiteral("Saved to deploy.sh \u2014 not on Forge yet"));
    EXPECT_TRUE(QFileInfo(path).permissions().testFlag(QFileDevice::ExeOwner));
    EXPECT_TRUE(alerts.shown().isEmpty());

    // Changed outside after it was read: ask, and write only on "Overwrite".
    writeFile(QStringLiteral("deploy.sh"), "changed elsewhere\n");
    QFile touched(path);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    touched.close();
    window()->writeToFile();
    ASSERT_TRUE(waitForAlert(QStringLiteral("deploy.sh was modified since you loaded it. Overwrite?")));
    EXPECT_EQ(alerts.open().last().alert.buttons, (QStringList{"Overwrite", "Cancel", "Show in File Manager"}));
    answerAlert(2);
    settle();
    EXPECT_EQ(contents(path), "changed elsewhere\n");
    EXPECT_EQ(opener.opened, QList<QUrl>{QUrl::fromLocalFile(folder.path())});
    window()->writeToFile();
    ASSERT_TRUE(waitForAlert(QStringLiteral("deploy.sh was modified since you loaded it. Overwrite?")));
    answerAlert(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return contents(path).startsWith("set -e; "); }, EditorWaitLimit));

    // A file that is not text is refused and changes nothing.
    const QString binary = writeFile(QStringLiteral("binary.sh"), QByteArray("\xff\xfe\x00 broken", 10));
    window()->loadFromDifferentFile();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Discard changes and load file?")));
    answerAlert(0);
    choose(binary);
    ASSERT_TRUE(waitForAlert(QStringLiteral("Couldn't Read File")));
    EXPECT_EQ(link(), path);
    EXPECT_TRUE(pageText(editor())->startsWith(QStringLiteral("set -e; ")));

    window()->forgetFile();
    EXPECT_EQ(link(), std::nullopt);
    EXPECT_EQ(status(), QStringLiteral("Edited \u2014 not saved to Forge"));
}

// A file whose date at load is unknown (located, or linked before a relaunch) is written without asking
// only when it already holds the text; a file another site links asks first and names that site.
TEST_F(DeploymentScriptFileTest, UnknownDatesAndOtherSitesFilesAskBeforeOverwriting)
{
    forge.site(site.id)->deploymentScript = QStringLiteral("git pull\n");
    const QString located = writeFile(QStringLiteral("located.sh"), "old contents\n");
    open(ConfigurationType::Deployment);

    window()->locateFile();
    choose(located);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link() == located; }, EditorWaitLimit));
    EXPECT_EQ(pageText(editor()), QStringLiteral("git pull\n")) << "locating reads nothing";
    window()->writeToFile();
    ASSERT_TRUE(waitForAlert(QStringLiteral("located.sh was modified since you loaded it. Overwrite?")));
    answerAlert(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return contents(located) == "git pull\n"; }, EditorWaitLimit));
    EXPECT_EQ(status(), QStringLiteral("Saved to located.sh"));

    window()->locateFile();
    choose(located);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return alerts.panels().size() == 2 && !alerts.panels().last().open; }, EditorWaitLimit));
    settle();
    const qsizetype asked = alerts.shown().size();
    window()->writeToFile();
    settle();
    settle();
    EXPECT_EQ(alerts.shown().size(), asked) << "the file already holds this text";

    const QString shared = writeFile(QStringLiteral("shared.sh"), "theirs\n");
    Site other;
    other.id = 88;
    other.serverId = 77;
    other.name = QStringLiteral("xn--caf-dma.example");
    loaded.list = {other};
    fileStore.setPath(shared, 77, 88);
    window()->saveToDifferentFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.panels().last().open; }, EditorWaitLimit));
    EXPECT_EQ(alerts.panels().last().panel.kind, FilePanel::Kind::Save);
    EXPECT_EQ(alerts.panels().last().panel.fileName, QStringLiteral("located.sh"));
    EXPECT_EQ(alerts.panels().last().panel.directory, folder.path());
    choose(shared);
    ASSERT_TRUE(waitForAlert(QStringLiteral("shared.sh belongs to caf\u00e9.example")));
    EXPECT_EQ(alerts.open().last().alert.informativeText,
              QStringLiteral("This file is the deployment script file for caf\u00e9.example:\n") + shared
                  + QStringLiteral("\n\nSaving will overwrite that site's script. Use Save to Different File\u2026 to "
                                   "pick a file for this site."));
    answerAlert(0);
    settle();
    EXPECT_EQ(contents(shared), "theirs\n");

    loaded.list.clear();
    window()->saveToDifferentFile();
    choose(shared);
    ASSERT_TRUE(waitForAlert(QStringLiteral("shared.sh belongs to another site (id 88)")));
    answerAlert(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return contents(shared) == "git pull\n"; }, EditorWaitLimit));
    EXPECT_EQ(link(), shared);
    EXPECT_EQ(fileStore.path(77, 88), shared) << "both sites keep their link";
}

TEST_F(DeploymentScriptFileTest, AMissingFileOffersLocateAndNothingThatNeedsIt)
{
    fileStore.setPath(folder.filePath(QStringLiteral("gone.sh")), server.id, site.id);
    open(ConfigurationType::Deployment);
    auto *view = window()->findChild<ConfigurationEditorView *>();
    ASSERT_NE(view, nullptr);
    QMenu menu;
    view->fillFileMenu(&menu);
    QStringList items;
    for (const QAction *action : menu.actions()) {
        items << (action->isSeparator()
                      ? QStringLiteral("-")
                      : action->text() + (action->isEnabled() ? QString() : QStringLiteral(" [off]")));
    }
    EXPECT_EQ(items,
              (QStringList{"gone.sh (not found) [off]",
                           folder.filePath("gone.sh") + " [off]",
                           "-",
                           "Reload from File [off]",
                           "Locate File\u2026",
                           "Save to File",
                           "Show in File Manager [off]",
                           "-",
                           "Load from Different File\u2026",
                           "Save to Different File\u2026",
                           "Forget File"}));
    EXPECT_EQ(window()->findChild<QToolButton *>(QStringLiteral("fileMenuButton"))->toolTip(),
              QStringLiteral("File not found. Use Locate File\u2026 in the file menu."));
}
