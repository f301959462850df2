#include "EditorWindowFixture.h"
#include "editor/EditorWebEngine.h"
#include "platform/Superuser.h"

#include <QCheckBox>
#include <QToolButton>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

class ConfigurationEditorTest : public EditorWindowFixture
{
};

struct EditableRow
{
    const char *name;
    ConfigurationType type;
    QString suffix;  // of the site's path
    QString bodyKey; // of the PUT's JSON body
    QString title;
    QString saveTitle;
    QString FakeForge::Site::*text;
};

void PrintTo(const EditableRow &row, std::ostream *os)
{
    *os << row.name;
}

class EditableKindTest : public EditorWindowFixture, public ::testing::WithParamInterface<EditableRow>
{
};

} // namespace

// Forge's text shows; the first edit marks the title once; Save sends the exact text (its CRLF line ends
// too) once under the kind's key and leaves the window clean.
TEST_P(EditableKindTest, EditsAreMarkedOnceAndSavedBackExactly)
{
    const EditableRow &row = GetParam();
    forge.site(site.id)->*row.text = QStringLiteral("FIRST=1\r\nSECOND=two words\r\n");
    open(row.type);
    EXPECT_EQ(pageText(editor()), QStringLiteral("FIRST=1\r\nSECOND=two words\r\n"));
    EXPECT_EQ(window()->windowTitle(), row.title);
    EXPECT_TRUE(saveButton()->isVisibleTo(window()));
    EXPECT_EQ(saveButton()->text(), row.saveTitle);

    typeIntoEditor(QStringLiteral("x"));
    typeIntoEditor(QStringLiteral("y"));
    EXPECT_EQ(window()->windowTitle(), row.title + QStringLiteral(" \u2013 Edited"));

    QTest::mouseClick(saveButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->hasChanges(); }, EditorWaitLimit));
    const QList<QJsonObject> sent = bodies("PUT", sitePath(row.suffix));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent.first().value(row.bodyKey).toString(), QStringLiteral("xyFIRST=1\r\nSECOND=two words\r\n"));
    EXPECT_EQ(sent.first().size(), 1);
    EXPECT_EQ(forge.site(site.id)->*row.text, QStringLiteral("xyFIRST=1\r\nSECOND=two words\r\n"));
    EXPECT_EQ(window()->windowTitle(), row.title);
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_FALSE(model()->isLoading());
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         EditableKindTest,
                         ::testing::Values(EditableRow{"Environment",
                                                       ConfigurationType::Env,
                                                       "environment",
                                                       "environment",
                                                       ".env for shop.example",
                                                       "Save",
                                                       &FakeForge::Site::environment},
                                           EditableRow{"Nginx",
                                                       ConfigurationType::Nginx,
                                                       "nginx",
                                                       "config",
                                                       "Nginx config shop.example",
                                                       "Save",
                                                       &FakeForge::Site::nginxConfig},
                                           EditableRow{"DeploymentScript",
                                                       ConfigurationType::Deployment,
                                                       "deployments/script",
                                                       "content",
                                                       "Deployment script for shop.example",
                                                       "Save to Forge",
                                                       &FakeForge::Site::deploymentScript}),
                         [](const ::testing::TestParamInfo<EditableRow> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(ConfigurationEditorTest, DebugModeAsksAndCancelSendsNothing)
{
    forge.site(site.id)->environment = QStringLiteral("APP_DEBUG=true\n");
    open(ConfigurationType::Env);
    window()->save();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Is this expected?")));
    EXPECT_EQ(alerts.open().last().alert.informativeText, QStringLiteral("Debug mode is enabled in your environment."));
    EXPECT_EQ(alerts.open().last().alert.buttons, (QStringList{"Yes!", "Cancel"}));
    EXPECT_EQ(alerts.open().last().alert.window, window());
    answerAlert(1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_FALSE(model()->isLoading());

    window()->save();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Is this expected?")));
    answerAlert(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bodies("PUT", sitePath("environment")).size() == 1; }, EditorWaitLimit));
    // The save's answer, too: the test ends with no request in flight.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model()->isLoading(); }, EditorWaitLimit));
}

// With "Clear caches after save" the PUT is followed by the command; the status line walks through its
// texts, each held on the (fake) clock; a failed command still leaves the file saved.
TEST_F(ConfigurationEditorTest, ClearingCachesFollowsTheSave)
{
    open(ConfigurationType::Env);
    auto *option = window()->findChild<QCheckBox *>(QStringLiteral("clearCachesCheckBox"));
    ASSERT_TRUE(option->isVisibleTo(window()));
    option->click();
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("runConfigCacheAfterEnvSave")));
    typeIntoEditor(QStringLiteral("Z"));
    QStringList statuses;
    QObject::connect(model(), &ConfigurationEditorViewModel::changed, &observer, [&] {
        const QString status = model()->statusMessage();
        if ((statuses.isEmpty() && !status.isEmpty()) || (!statuses.isEmpty() && statuses.last() != status)) {
            statuses << status;
        }
    });

    window()->save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return statuses.size() == 4; }, EditorWaitLimit))
        << statuses.join(u'|').toStdString();
    EXPECT_EQ(statuses, (QStringList{"Saving...", "Clearing caches...", "Done \u2713", ""}));
    QStringList sent;
    for (const RecordedRequest &request : forge.requests()) {
        if (request.method != "GET") {
            sent << QString::fromLatin1(request.method) + u' ' + request.path;
        }
    }
    EXPECT_EQ(sent, (QStringList{"PUT " + sitePath("environment"), "POST " + sitePath("commands")}));
    EXPECT_EQ(forge.site(site.id)->commands, QStringList{"php artisan optimize:clear"});
    EXPECT_TRUE(sleeper.requested().contains(800ms));
    EXPECT_TRUE(sleeper.requested().contains(1500ms));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window()->hasChanges(); }, EditorWaitLimit));

    typeIntoEditor(QStringLiteral("W"));
    forge.failNext("POST", sitePath("commands"), forge.errorResponse(500));
    window()->save();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Error, something went wrong")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window()->hasChanges(); }, EditorWaitLimit)) << "the file is on Forge";
    EXPECT_TRUE(model()->statusIsError());
    EXPECT_EQ(forge.site(site.id)->environment, pageText(editor()));
}

TEST_F(ConfigurationEditorTest, AFailedSaveKeepsTheEditAndSaveWorksAgain)
{
    open(ConfigurationType::Nginx);
    typeIntoEditor(QStringLiteral("#"));
    forge.failNext("PUT", sitePath("nginx"), forge.errorResponse(500));
    QTest::mouseClick(saveButton(), Qt::LeftButton);
    ASSERT_TRUE(waitForAlert(QStringLiteral("Error, something went wrong")));
    EXPECT_EQ(alerts.open().last().alert.informativeText,
              ForgeAPIError(ForgeAPIError::Case::InternalServerError).userMessage());
    EXPECT_TRUE(window()->hasChanges());
    EXPECT_TRUE(window()->windowTitle().endsWith(QStringLiteral(" \u2013 Edited")));
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_FALSE(model()->isLoading());
}

// Keys typed while the save travels are not on Forge: the window stays edited.
TEST_F(ConfigurationEditorTest, TypingDuringASlowSaveStaysEdited)
{
    open(ConfigurationType::Nginx);
    typeIntoEditor(QStringLiteral("a"));
    forge.transformNext("PUT", sitePath("nginx"), [](FakeResponse response) { return response.withDelay(10s); });
    window()->save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return forge.requestCount("PUT", sitePath("nginx")) == 1; }, EditorWaitLimit));
    typeKeys(editor(), QStringLiteral("b"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageText(editor())->startsWith(QStringLiteral("ab")); }, EditorWaitLimit));
    ASSERT_TRUE(model()->isLoading()) << "the save was answered before the second key";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model()->isLoading(); }, EditorWaitLimit));
    // The window compares with the page's text; one more answer of the page comes after that one.
    pageText(editor());
    QCoreApplication::processEvents();
    EXPECT_TRUE(window()->hasChanges());
    EXPECT_TRUE(window()->windowTitle().endsWith(QStringLiteral(" \u2013 Edited")));
}

// Closing over edits asks; "Save" closes once Forge has the text. A save road that ends unsaved (Cancel on
// the debug warning) leaves Save working and the window open for good.
TEST_F(ConfigurationEditorTest, ClosingWithEditsAsksAndSaveClosesAfterTheSave)
{
    open(ConfigurationType::Deployment);
    typeIntoEditor(QStringLiteral("APP_DEBUG=true "));
    window()->close();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Your changes will be lost if you don't save them.")));
    EXPECT_EQ(alerts.open().last().alert.buttons, (QStringList{"Save", "Cancel", "Don't save"}));
    EXPECT_TRUE(window()->isVisible());
    answerAlert(0);
    ASSERT_TRUE(waitForAlert(QStringLiteral("Is this expected?")));
    answerAlert(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return saveButton()->isEnabled() && !model()->isLoading(); }, EditorWaitLimit));

    window()->save();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Is this expected?")));
    answerAlert(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->hasChanges(); }, EditorWaitLimit));
    EXPECT_TRUE(window()->isVisible()) << "the abandoned close was dropped";
    EXPECT_TRUE(closedWindows.isEmpty());

    typeIntoEditor(QStringLiteral("echo "));
    window()->close();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Your changes will be lost if you don't save them.")));
    answerAlert(0);
    ASSERT_TRUE(waitForAlert(QStringLiteral("Is this expected?")));
    answerAlert(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !closedWindows.isEmpty(); }, EditorWaitLimit));
    EXPECT_EQ(closedWindows, QStringList{"window-key"});
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(bodies("PUT", sitePath("deployments/script")).size(), 2);
    EXPECT_TRUE(forge.site(site.id)->deploymentScript.startsWith(QStringLiteral("APP_DEBUG=true echo ")));
}

// Reloading over edits asks first; a reload leaves the window clean with Forge's text.
TEST_F(ConfigurationEditorTest, ReloadOverEditsAsksAndLeavesTheWindowClean)
{
    open(ConfigurationType::Env);
    typeIntoEditor(QStringLiteral("LOCAL=1 "));
    forge.site(site.id)->environment = QStringLiteral("FROM_FORGE=2\n");
    window()->findChild<QToolButton *>(QStringLiteral("reloadButton"))->click();
    ASSERT_TRUE(waitForAlert(QStringLiteral("Discard changes and reload?")));
    answerAlert(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(forge.requestCount("GET", sitePath("environment")), 1);
    EXPECT_TRUE(window()->hasChanges());

    evaluateInPage(editor(), QStringLiteral("window.webkit.messageHandlers.reload.postMessage({})"));
    ASSERT_TRUE(waitForAlert(QStringLiteral("Discard changes and reload?")));
    answerAlert(0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return pageText(editor()) == QStringLiteral("FROM_FORGE=2\n"); }, EditorWaitLimit));
    EXPECT_EQ(forge.requestCount("GET", sitePath("environment")), 2);
    EXPECT_FALSE(window()->hasChanges());
    EXPECT_EQ(window()->windowTitle(), QStringLiteral(".env for shop.example"));

    // While a reload is under way the editor is empty: a save then would wipe the file on Forge.
    forge.transformNext("GET", sitePath("environment"), [](FakeResponse response) { return response.withDelay(3s); });
    window()->reload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model()->isLoading(); }, EditorWaitLimit));
    evaluateInPage(editor(), QStringLiteral("window.webkit.messageHandlers.save.postMessage({})"));
    window()->save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model()->isLoading(); }, EditorWaitLimit));
    EXPECT_EQ(forge.requestCount("PUT", sitePath("environment")), 0);
    EXPECT_EQ(forge.site(site.id)->environment, QStringLiteral("FROM_FORGE=2\n"));
}

// An edit changes only the bytes typed: every other line keeps its own line ending, a new line takes the
// ending of the line before it, and a byte order mark stays. ("\n" in `keys` is the Enter key.)
TEST_F(ConfigurationEditorTest, EditsChangeOnlyTheBytesTyped)
{
    struct Row
    {
        const char *name;
        QString served;
        int line;
        int column;
        QString keys;
        QString expected;
    };
    const QString mark(QChar(0xFEFF));
    const QString mixed = QStringLiteral("A=1\r\nB=2\nC=3\rD=4\n");
    const QList<Row> rows{
        {"mixed endings, edit on the first line", mixed, 1, 1, "X", "XA=1\r\nB=2\nC=3\rD=4\n"},
        {"a line added in the middle", mixed, 1, 4, "\nN=5", "A=1\r\nN=5\r\nB=2\nC=3\rD=4\n"},
        {"a line added after a last line without ending", "one\rtwo", 2, 4, "\nthree", "one\rtwo\rthree"},
        {"byte order mark, unedited", mark + "A=1\nB=2\n", 0, 0, "", mark + "A=1\nB=2\n"},
        {"byte order mark, edited", mark + "A=1\r\nB=2\r\n", 2, 1, "X", mark + "A=1\r\nXB=2\r\n"},
    };
    open(ConfigurationType::Env);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        forge.site(site.id)->environment = row.served;
        window()->reload();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->isLoading(); }, EditorWaitLimit));
        ASSERT_EQ(pageText(editor()), row.served);

        if (!row.keys.isEmpty()) {
            evaluateInPage(editor(),
                           QStringLiteral("monaco.editor.getEditors()[0].setPosition({lineNumber: %1, column: %2})")
                               .arg(row.line)
                               .arg(row.column));
            const QStringList parts = row.keys.split(u'\n');
            for (qsizetype part = 0; part < parts.size(); ++part) {
                if (part > 0) {
                    pressShortcut(editor(), Qt::Key_Return, Qt::NoModifier);
                }
                if (!parts[part].isEmpty()) {
                    typeKeys(editor(), parts[part]);
                }
            }
            // What the editor holds, one ending for all lines, before the window gives them theirs back.
            const QString lines = QString(row.expected)
                                      .remove(mark)
                                      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                      .replace(u'\r', u'\n');
            const QString script = QStringLiteral(
                "monaco.editor.getEditors()[0].getModel().getValue(monaco.editor.EndOfLinePreference.LF)");
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return evaluateInPage(editor(), script).toString() == lines; }, EditorWaitLimit));
            ASSERT_TRUE(QTest::qWaitFor([&] { return window()->hasChanges(); }, EditorWaitLimit));
        }
        EXPECT_EQ(pageText(editor()), row.expected);

        const qsizetype before = bodies("PUT", sitePath("environment")).size();
        pressShortcut(editor(), Qt::Key_S, Qt::ControlModifier);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return bodies("PUT", sitePath("environment")).size() == before + 1 && !model()->isLoading()
                       && !window()->hasChanges();
            },
            EditorWaitLimit));
        EXPECT_EQ(
            bodies("PUT", sitePath("environment")).last().value(QStringLiteral("environment")).toString().toUtf8(),
            row.expected.toUtf8());
    }
}

// Save in the close question while a reload runs: refused with the reason, and nothing stays stuck; the
// next save neither fails nor closes the window.
TEST_F(ConfigurationEditorTest, SaveDuringAReloadIsRefusedAndNothingSticks)
{
    open(ConfigurationType::Env);
    // The steps run while Forge answers the reload's request, so the reload is under way throughout.
    forge.transformNext("GET", sitePath("environment"), [&](FakeResponse response) {
        typeIntoEditor(QStringLiteral("Y"));
        window()->close();
        EXPECT_TRUE(waitForAlert(QStringLiteral("Your changes will be lost if you don't save them.")));
        answerAlert(0);
        EXPECT_TRUE(waitForAlert(QStringLiteral("Not saved")));
        answerAlert(0);
        return response;
    });
    window()->reload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model()->isLoading(); }, EditorWaitLimit));
    EXPECT_EQ(forge.requestCount("GET", sitePath("environment")), 2);
    EXPECT_TRUE(saveButton()->isEnabled());
    EXPECT_EQ(forge.requestCount("PUT", sitePath("environment")), 0);

    typeIntoEditor(QStringLiteral("Z"));
    window()->save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->hasChanges() && !model()->isLoading(); }, EditorWaitLimit));
    EXPECT_EQ(forge.requestCount("PUT", sitePath("environment")), 1);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_TRUE(closedWindows.isEmpty());
}

// Ctrl+S again while the first save is on its way: one upload and one cache clearing, and Save works on.
TEST_F(ConfigurationEditorTest, ASaveAskedDuringAnotherIsSentOnce)
{
    open(ConfigurationType::Env);
    window()->findChild<QCheckBox *>(QStringLiteral("clearCachesCheckBox"))->click();
    typeIntoEditor(QStringLiteral("Z"));
    // The second Ctrl+S arrives while Forge receives the first: what the page's Ctrl+S becomes.
    forge.transformNext("PUT", sitePath("environment"), [&](FakeResponse response) {
        window()->editorDidRequestSave(forge.site(site.id)->environment);
        return response;
    });
    pressShortcut(editor(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return forge.requestCount("POST", sitePath("commands")) == 1 && !model()->isLoading()
                   && !window()->hasChanges();
        },
        EditorWaitLimit));

    typeIntoEditor(QStringLiteral("Q"));
    window()->save();
    // Until the second clearing has been answered too: its road ends with the status cleared.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return forge.requestCount("POST", sitePath("commands")) == 2 && model()->statusMessage().isEmpty(); },
        EditorWaitLimit));
    const QList<QJsonObject> sent = bodies("PUT", sitePath("environment"));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_TRUE(sent.last().value(QStringLiteral("environment")).toString().startsWith(QStringLiteral("ZQ")));
}

// As root without the sandbox waiver the web engine would end the whole process: the editor explains
// itself instead, and never starts the engine.
TEST_F(ConfigurationEditorTest, AsRootWithoutTheSandboxWaiverTheEditorExplainsItself)
{
    if (!isSuperuser()) {
        GTEST_SKIP() << "only the superuser needs the waiver";
    }
    const QByteArray waiver = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    showWindow(ConfigurationType::Env);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", waiver);

    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, QStringLiteral("The editor cannot open"));
    EXPECT_TRUE(alerts.open().first().alert.informativeText.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1")));
    EXPECT_EQ(editor()->webPage(), nullptr);
    EXPECT_FALSE(window()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !closedWindows.isEmpty(); }, EditorWaitLimit));
    EXPECT_EQ(forge.requests().size(), 0);
}

TEST(EditorWebEngineTest, OnlyTheSuperuserWithoutAWaiverIsRefused)
{
    struct Row
    {
        bool superuser;
        QStringList variables;
        bool refused;
    };
    const QList<Row> rows{
        {true, {}, true},
        {true, {"QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --process-per-site"}, true},
        {true, {"QTWEBENGINE_DISABLE_SANDBOX=1"}, false},
        {true, {"QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox"}, false},
        {false, {}, false},
    };
    for (const Row &row : rows) {
        QProcessEnvironment environment;
        for (const QString &variable : row.variables) {
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        }
        EXPECT_EQ(webEngineSandboxForbids(row.superuser, environment), row.refused)
            << row.superuser << row.variables.join(u' ').toStdString();
    }
}

namespace {

struct ReadOnlyRow
{
    const char *name;
    ConfigurationType type;
    bool lineNumbers;
};

void PrintTo(const ReadOnlyRow &row, std::ostream *os)
{
    *os << row.name;
}

class ReadOnlyKindTest : public EditorWindowFixture, public ::testing::WithParamInterface<ReadOnlyRow>
{
};

} // namespace

// Texts that are only read: no Save, no saving from the page, shown from their end.
TEST_P(ReadOnlyKindTest, ShowsTheEndAndNeverSaves)
{
    const ReadOnlyRow &row = GetParam();
    QString text;
    for (int line = 1; line <= 200; ++line) {
        text += QStringLiteral("2026/12/08 12:00:00 [error] line %1\n").arg(line);
    }
    FakeForge::Deployment deployment;
    deployment.output = text;
    forge.addDeployment(site.id, deployment);
    forge.site(site.id)->applicationLog = text;
    forge.server(server.id)->nginxErrorLog = text;
    open(row.type);
    EXPECT_EQ(pageText(editor()), text);
    EXPECT_FALSE(saveButton()->isVisibleTo(window()));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return editorState(editor()).value(QStringLiteral("lastVisibleLine")).toInt() == 201; },
                        EditorWaitLimit));
    const QVariantMap state = editorState(editor());
    EXPECT_EQ(state.value(QStringLiteral("readOnly")), true);
    EXPECT_EQ(state.value(QStringLiteral("lineNumbers")), row.lineNumbers);

    evaluateInPage(editor(), QStringLiteral("window.webkit.messageHandlers.save.postMessage({})"));
    evaluateInPage(editor(), QStringLiteral("0"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(model()->isLoading()) << "a save of a read-only text must not spin";
    for (const RecordedRequest &request : forge.requests()) {
        EXPECT_EQ(request.method, "GET");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         ReadOnlyKindTest,
                         ::testing::Values(ReadOnlyRow{"DeploymentOutput", ConfigurationType::DeploymentOutput, false},
                                           ReadOnlyRow{"SiteLog", ConfigurationType::SiteLog, true},
                                           ReadOnlyRow{"NginxErrorLog", ConfigurationType::NginxErrorLogs, true}),
                         [](const ::testing::TestParamInfo<ReadOnlyRow> &info) {
                             return std::string(info.param.name);
                         });
